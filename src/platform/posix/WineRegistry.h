#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestovan::posix {

// One hive file in Wine's "WINE REGISTRY Version 2" text format.
//
// The hive keeps the file's text once, as it was read: a prologue (the
// header, the comment that names the hive's root, global options such as
// "#arch=win64") and one block per key ("[Path\\To\\Key] <seconds>", then
// "#time=", "#class=" or "#link" options and the value lines), each block a
// range of that text.  Blank lines in front of a key line belong to that
// key's block.  Reading checks every line but keeps only the ranges and each
// key's path (case folded, for lookups); values are parsed when asked for.
// A changed block gets a text of its own; writing copies the untouched
// ranges byte for byte.  A key with sub-keys but no values of its own has no
// block, exactly as Wine writes it.
//
// Texts crossing this interface (key paths, value names, string data) are
// UTF-8, key paths separated by single backslashes ("Software\\Classes\\.bmp"
// in C++).  Inside the file Wine keeps UTF-16 code units written with its
// escapes: \\ \" \[ \] (key names), \a \b \t \n \v \f \r \e, octal for the
// other control characters, and \xNNNN for every unit above 127 (four digits
// when a hex digit follows, else the shortest form).  Raw bytes above 127 in a
// hand-edited file are read as UTF-8, and invalid sequences are skipped, as
// Wine does.  Key paths and value names are compared without regard to
// letter case.
class RegistryHive {
public:
    // Raises RuntimeError 75 ("Path/File access error") when the text is not a
    // hive Wine would load whole: an empty text, a wrong first line, a last
    // line without its line end (a cut-off file), a key line without its
    // closing bracket, a string without its closing quote, a bad hex list, a
    // value before the first key, an unknown value type or line.
    static RegistryHive Parse(const std::string& text);
    static RegistryHive Parse(std::string&& text);

    // Parse(x).Serialize() == x for every text Parse accepts.
    std::string Serialize() const;
    // The text Serialize gives, as pieces to be written one after the other
    // (the untouched stretches of the text read, and the changed blocks);
    // they stay valid until the hive changes.
    std::vector<std::string_view> Pieces() const;

    // A key exists when it or one of its sub-keys has a block; the root ("")
    // always exists.
    bool KeyExists(const std::string& keyPath) const;

    // Adds a block (stamped with the current time) for a key that does not
    // exist yet, at the place Wine would write it (keys in the order of a
    // depth-first walk, names compared without regard to case).  Parts of the
    // path that already exist keep the spelling they have in the file.
    void CreateKey(const std::string& keyPath);

    // Removes the key's blocks and those of all its sub-keys; false when the
    // key did not exist.  The parent key stays: when it would vanish with its
    // last sub-key it gets an empty block of its own.  Raises RuntimeError 5
    // for the root ("").
    bool DeleteKeyTree(const std::string& keyPath);

    // The text of a string value (REG_SZ or REG_EXPAND_SZ, the latter not
    // expanded); "" names the key's default value ("@").  nullopt when the
    // key or the value is missing or the value is of another type.
    std::optional<std::string> GetString(const std::string& keyPath,
                                         const std::string& valueName) const;

    // Sets a REG_SZ value, creating the key when needed.  An existing value
    // of that name has its line(s) replaced (the name keeps its spelling);
    // a new value line goes to its sorted place in the key's block.  Setting
    // a REG_SZ value to the text it already has changes nothing.  True when
    // the hive has changed.
    bool SetString(const std::string& keyPath, const std::string& valueName,
                   const std::string& value);

    // The direct sub-keys of a key, each once, spelled and ordered as in the
    // file.
    std::vector<std::string> SubKeyNames(const std::string& keyPath) const;

    // The path in the header comment ";; All keys relative to ..." with its
    // escapes removed (for example "REGISTRY\\User\\S-1-5-21-0-0-0-1000");
    // "" when the comment is missing.
    std::string RootPath() const;

    // The value of the "#arch=" header option ("win32", "win64"); "" when
    // there is none.
    std::string Architecture() const;

private:
    struct Value {
        std::u16string name;       // "" for the default value
        std::u16string foldedName; // name with letter case folded
        std::size_t firstLine = 0; // index into ParsedBlock::lines
        std::size_t lineCount = 1; // more than one for continued hex lists
        std::size_t nameEnd = 0;   // end of the name token in the first line
        std::uint32_t type = 0;    // REG_SZ, REG_BINARY, ...
        bool quoted = false;       // data written as a quoted string
        std::u16string text;       // the data of a quoted string
        std::string bytes;         // the data of a hex list
    };
    // A block taken apart to be read or changed.
    struct ParsedBlock {
        std::vector<std::string> lines; // each with its line end
        std::size_t keyLine = 0;        // index of the "[...]" line
        std::vector<Value> values;
    };
    struct Block {
        std::size_t begin = 0, end = 0; // the block's range of text_ (when not owned)
        std::size_t keyLine = 0;        // where its key line starts, from begin
        std::size_t keyBegin = 0;       // its folded path: keys_.substr(keyBegin, keyLength)
        std::uint32_t keyLength = 0;
        std::int32_t owned = -1; // index into owned_ for a changed or new block
        bool live = true;        // false once deleted
    };
    // Where the blocks of a folded path and of all paths below it lie in sorted_.
    struct Range {
        std::size_t first = 0, last = 0;
    };

    static void IndexBlock(ParsedBlock& block);
    std::string_view BlockText(const Block& block) const;
    std::string_view Key(std::uint32_t block) const;
    ParsedBlock Parse(const Block& block) const;
    std::vector<std::u16string> PathOf(const Block& block) const;
    Range Below(std::string_view key) const;
    Range Exactly(std::string_view key) const;
    std::uint32_t FirstInFile(Range range) const;
    const Value* FindValue(std::string_view key, const std::u16string& foldedName,
                           ParsedBlock& holder) const;
    std::vector<std::u16string> SpellPath(const std::vector<std::u16string>& path) const;
    std::size_t InsertBlock(const std::vector<std::u16string>& path);
    void Replace(std::size_t block, const ParsedBlock& parsed);

    std::shared_ptr<const std::string> text_; // the text as read, never changed
    std::size_t prologueEnd_ = 0;
    std::vector<Block> blocks_;         // in file order, deleted ones kept
    std::vector<std::uint32_t> sorted_; // the live blocks by folded path, then file order
    std::string keys_;                  // the folded paths, one after the other
    std::vector<std::string> owned_;    // the texts of changed and new blocks
    std::string newline_ = "\n";
};

} // namespace kestovan::posix
