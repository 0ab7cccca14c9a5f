"""Reading, editing and comparing machine directories laid out as Wine prefixes.

A machine directory holds drive_c/, dosdevices/c: and the two registry hives
system.reg (HKEY_LOCAL_MACHINE) and user.reg (HKEY_CURRENT_USER) in Wine's
"WINE REGISTRY Version 2" text format.  This module is shared by
tools/make-demo-machine, tools/reg-edit, tools/dump-machine and
tests/run-scenario; it uses the Python standard library only.
"""

from __future__ import annotations

import hashlib
import os
import re
import stat

HIVE_FILES = {"HKLM": "system.reg", "HKCU": "user.reg"}
HIVE_RELATIVE = {
    "HKLM": "\\\\Machine",
    "HKCU": "\\\\User\\\\S-1-5-21-0-0-0-1000",
}
CLASSES = "software\\classes"
DOSATTRIB = "user.DOSATTRIB"
FILE_ATTRIBUTE_READONLY = 0x1
FILE_ATTRIBUTE_HIDDEN = 0x2
FILE_ATTRIBUTE_SYSTEM = 0x4

# A fixed modification stamp keeps the made machines identical run after run.
DEFAULT_STAMP = "1700000000"
DEFAULT_TIME = "#time=1da1a7e2c1b5e00"


# ---------------------------------------------------------------------------
# Registry text format


def _unescape(text: str, start: int, stop_chars: str) -> tuple[str, int]:
    """Reads escaped text from text[start:] up to an unescaped stop char.

    Returns the text and the index of the stop char (len(text) when none)."""
    out = []
    i = start
    simple = {"n": "\n", "r": "\r", "t": "\t", "a": "\a", "b": "\b", "f": "\f", "v": "\v", "e": "\x1b"}
    while i < len(text):
        c = text[i]
        if c in stop_chars:
            return "".join(out), i
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n in simple:
                out.append(simple[n])
                i += 2
            elif n == "x":
                m = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2 :])
                if m:
                    out.append(chr(int(m.group(0), 16)))
                    i += 2 + len(m.group(0))
                else:
                    out.append("x")
                    i += 2
            elif n in "01234567":
                m = re.match(r"[0-7]{1,3}", text[i + 1 :])
                out.append(chr(int(m.group(0), 8)))
                i += 1 + len(m.group(0))
            else:
                out.append(n)
                i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out), i


def escape_text(text: str, extra: str = '"') -> str:
    out = []
    for c in text:
        if c == "\\":
            out.append("\\\\")
        elif c in extra:
            out.append("\\" + c)
        elif c == "\n":
            out.append("\\n")
        elif c == "\r":
            out.append("\\r")
        elif c == "\t":
            out.append("\\t")
        elif ord(c) < 32 or ord(c) > 126:
            out.append("\\x%04x" % ord(c))
        else:
            out.append(c)
    return "".join(out)


class RegValue:
    """One value: name (None = the default value) and its data as written."""

    def __init__(self, name: str | None, raw: str):
        self.name = name
        self.raw = raw  # the text after '=' (continuation lines joined with '\n')

    @staticmethod
    def text(name: str | None, text: str) -> "RegValue":
        return RegValue(name, '"' + escape_text(text) + '"')

    def string(self) -> str | None:
        """The text of a REG_SZ value, else None."""
        if self.raw.startswith('"'):
            return _unescape(self.raw, 1, '"')[0]
        return None

    def display(self) -> str:
        s = self.string()
        if s is not None:
            return quote(s)
        m = re.match(r'str\((\d+)\):"', self.raw)
        if m:
            return "str(%s):%s" % (m.group(1), quote(_unescape(self.raw, len(m.group(0)), '"')[0]))
        return re.sub(r"\\\n\s*", "", self.raw)

    def line(self) -> str:
        n = "@" if self.name is None else '"' + escape_text(self.name) + '"'
        return n + "=" + self.raw


class RegKey:
    def __init__(self, path: str, stamp: str = DEFAULT_STAMP, meta: list[str] | None = None):
        self.path = path
        self.stamp = stamp
        self.meta = meta if meta is not None else [DEFAULT_TIME]
        self.values: list[RegValue] = []

    def find(self, name: str | None) -> RegValue | None:
        for v in self.values:
            if (v.name is None and name is None) or (
                v.name is not None and name is not None and v.name.lower() == name.lower()
            ):
                return v
        return None

    def set(self, name: str | None, text: str) -> None:
        v = self.find(name)
        if v is None:
            self.values.append(RegValue.text(name, text))
        else:
            v.raw = RegValue.text(name, text).raw


class Hive:
    """A registry file: header lines and key blocks in file order."""

    def __init__(self, root: str):
        self.root = root
        self.header = [
            "WINE REGISTRY Version 2",
            ";; All keys relative to " + HIVE_RELATIVE[root],
            "",
            "#arch=win32",
        ]
        self.blocks: list[RegKey] = []

    # -- reading
    @staticmethod
    def load(path: str, root: str) -> "Hive":
        with open(path, "r", encoding="utf-8", errors="surrogateescape") as f:
            text = f.read()
        return Hive.parse(text, root)

    @staticmethod
    def parse(text: str, root: str) -> "Hive":
        h = Hive(root)
        lines = text.replace("\r\n", "\n").split("\n")
        if not lines or lines[0] != "WINE REGISTRY Version 2":
            raise ValueError("not a WINE REGISTRY Version 2 file")
        h.header = []
        cur: RegKey | None = None
        i = 0
        while i < len(lines):
            line = lines[i]
            i += 1
            if cur is None and not line.startswith("["):
                h.header.append(line)
                continue
            if line.startswith("["):
                path, end = _unescape(line, 1, "]")
                cur = RegKey(path, line[end + 1 :].strip(), [])
                h.blocks.append(cur)
            elif line.startswith("#"):
                cur.meta.append(line)
            elif line.startswith("@") or line.startswith('"'):
                if line.startswith("@"):
                    name, pos = None, 1
                else:
                    name, pos = _unescape(line, 1, '"')
                    pos += 1
                if pos >= len(line) or line[pos] != "=":
                    raise ValueError("bad value line: %r" % line)
                raw = line[pos + 1 :]
                while raw.endswith("\\") and not raw.startswith('"') and i < len(lines):
                    raw += "\n" + lines[i]
                    i += 1
                cur.values.append(RegValue(name, raw))
            # blank lines and ';' comments are dropped
        while h.header and h.header[-1] == "":
            h.header.pop()
        return h

    # -- writing
    def serialize(self) -> str:
        out = "\n".join(self.header) + "\n"
        for k in self.blocks:
            out += "\n[" + escape_text(k.path, "[]") + "] " + k.stamp + "\n"
            for m in k.meta:
                out += m + "\n"
            for v in k.values:
                out += v.line() + "\n"
        return out

    def save(self, path: str) -> None:
        tmp = path + ".tmp"
        with open(tmp, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as f:
            f.write(self.serialize())
        os.replace(tmp, path)

    # -- keys (paths relative to the hive root, compared without regard to case)
    def block(self, path: str) -> RegKey | None:
        low = path.lower()
        for k in self.blocks:
            if k.path.lower() == low:
                return k
        return None

    def keys(self) -> dict[str, str]:
        """Every existing key, lower-case path -> path as spelled.

        A key exists when it has a block or when any deeper block lies under it."""
        out: dict[str, str] = {}
        for k in self.blocks:
            parts = k.path.split("\\")
            for n in range(1, len(parts) + 1):
                p = "\\".join(parts[:n])
                out.setdefault(p.lower(), p)
        return out

    def create(self, path: str) -> RegKey:
        """Returns the block of path, creating it and blocks for its ancestors."""
        parts = path.split("\\")
        k = None
        for n in range(1, len(parts) + 1):
            p = "\\".join(parts[:n])
            k = self.block(p)
            if k is None:
                k = RegKey(p)
                self.blocks.append(k)
        return k

    def delete(self, path: str) -> bool:
        """Deletes the key and everything under it; False when it did not exist."""
        low = path.lower()
        if low not in self.keys():
            return False
        self.blocks = [
            k for k in self.blocks if k.path.lower() != low and not k.path.lower().startswith(low + "\\")
        ]
        parent = path.rpartition("\\")[0]
        if parent and parent.lower() not in self.keys():
            self.create(parent)  # the parent key stays, as in the registry
        return True


def quote(text: str) -> str:
    """Readable quoting for change listings: "..." with control characters shown."""
    out = []
    for c in text:
        if c == "\r":
            out.append("\\r")
        elif c == "\n":
            out.append("\\n")
        elif c == "\t":
            out.append("\\t")
        elif ord(c) < 32:
            out.append("\\x%02x" % ord(c))
        else:
            out.append(c)
    return '"' + "".join(out) + '"'


def split_root(name: str) -> tuple[str, str]:
    """'HKCR\\.jpg' -> ('HKLM', 'Software\\Classes\\.jpg'); HKLM, HKCU as they are."""
    root, _, rest = name.partition("\\")
    root = root.upper()
    aliases = {
        "HKEY_CLASSES_ROOT": "HKCR",
        "HKEY_LOCAL_MACHINE": "HKLM",
        "HKEY_CURRENT_USER": "HKCU",
    }
    root = aliases.get(root, root)
    if root == "HKCR":
        return "HKLM", "Software\\Classes" + ("\\" + rest if rest else "")
    if root in ("HKLM", "HKCU"):
        return root, rest
    raise ValueError("unknown registry root in %r" % name)


def display_key(root: str, path: str) -> str:
    if root == "HKLM" and path.lower().startswith(CLASSES + "\\"):
        return "HKCR\\" + path[len(CLASSES) + 1 :]
    return root + "\\" + path


def load_hives(machine: str) -> dict[str, Hive]:
    return {root: Hive.load(os.path.join(machine, f), root) for root, f in HIVE_FILES.items()}


# ---------------------------------------------------------------------------
# INI files


def parse_ini(data: bytes) -> dict:
    text = data.decode("latin-1")
    lines = text.splitlines(keepends=True)
    crlf = sum(1 for l in lines if l.endswith("\r\n"))
    lf = sum(1 for l in lines if l.endswith("\n") and not l.endswith("\r\n"))
    eol = "CRLF" if lf == 0 and crlf > 0 else "LF" if crlf == 0 and lf > 0 else "none" if crlf == lf == 0 else "mixed"
    if text and not text.endswith("\n"):
        eol += ", last line unterminated"
    entries: dict[tuple[str, str], tuple[str, str, str]] = {}
    order: list[tuple[str, str]] = []
    other: list[str] = []
    section = ""
    for l in lines:
        s = l.rstrip("\r\n")
        st = s.strip()
        if st.startswith("[") and "]" in st:
            section = st[1 : st.index("]")]
            other.append("[" + section + "]")
        elif "=" in s and not st.startswith(";"):
            key, _, value = s.partition("=")
            ident = (section.lower(), key.strip().lower())
            if ident not in entries:
                entries[ident] = (section, key.strip(), value)
                order.append(ident)
        else:
            other.append(s)
    return {"entries": entries, "order": order, "other": other, "eol": eol}


# ---------------------------------------------------------------------------
# Snapshots


def dos_attributes(path: str) -> int:
    try:
        raw = os.getxattr(path, DOSATTRIB, follow_symlinks=False).decode("ascii", "replace").strip("\0 ")
        return int(raw, 0)
    except (OSError, ValueError):
        return 0


def attributes(path: str, st: os.stat_result) -> str:
    flags = []
    if not st.st_mode & stat.S_IWUSR:
        flags.append("readonly")
    d = dos_attributes(path)
    if d & FILE_ATTRIBUTE_HIDDEN:
        flags.append("hidden")
    if d & FILE_ATTRIBUTE_SYSTEM:
        flags.append("system")
    return "[" + ",".join(flags) + "]"


def windows_path(rel: str) -> str:
    return "C:\\" + rel.replace("/", "\\") if rel else "C:\\"


def snapshot(machine: str) -> dict:
    """The state of a machine that the scenarios compare."""
    files: dict[str, tuple] = {}
    inis: dict[str, dict] = {}
    drive = os.path.join(machine, "drive_c")
    for dirpath, dirnames, filenames in os.walk(drive):
        dirnames.sort()
        for name in sorted(dirnames + filenames):
            full = os.path.join(dirpath, name)
            rel = os.path.relpath(full, drive)
            wp = windows_path(rel)
            st = os.lstat(full)
            if stat.S_ISLNK(st.st_mode):
                files[wp] = ("link", os.readlink(full))
            elif stat.S_ISDIR(st.st_mode):
                files[wp] = ("dir", attributes(full, st))
            else:
                with open(full, "rb") as f:
                    data = f.read()
                files[wp] = ("file", attributes(full, st), hashlib.sha256(data).hexdigest())
                if name.lower().endswith(".ini"):
                    inis[wp] = parse_ini(data)
        # do not descend into symbolic links
        dirnames[:] = [d for d in dirnames if not os.path.islink(os.path.join(dirpath, d))]
    keys: dict[str, str] = {}
    values: dict[tuple[str, str], tuple[str, str, str]] = {}
    hives_ok: dict[str, str] = {}
    for root, fname in HIVE_FILES.items():
        path = os.path.join(machine, fname)
        try:
            hive = Hive.load(path, root)
            hives_ok[root] = "ok"
        except (OSError, ValueError) as e:
            hives_ok[root] = "unreadable (%s)" % e.__class__.__name__
            continue
        for low, spelled in hive.keys().items():
            keys[root + "\\" + low] = display_key(root, spelled)
        for k in hive.blocks:
            kd = display_key(root, k.path)
            for v in k.values:
                vn = "@" if v.name is None else quote(v.name)
                ident = (root + "\\" + k.path.lower(), "@" if v.name is None else v.name.lower())
                values[ident] = (kd, vn, v.display())
    return {"files": files, "inis": inis, "keys": keys, "values": values, "hives": hives_ok}


def diff(before: dict, after: dict) -> list[str]:
    """The differences between two snapshots as change lines (see tests/scenarios/README.md)."""
    out: list[str] = []
    bf, af = before["files"], after["files"]
    for p in bf.keys() - af.keys():
        out.append("- %s %s" % (bf[p][0], p))
    for p in af.keys() - bf.keys():
        out.append("+ %s %s" % (af[p][0], p))
    for p in bf.keys() & af.keys():
        b, a = bf[p], af[p]
        if b[0] != a[0]:
            out.append("~ %s %s -> %s" % (p, b[0], a[0]))
            continue
        if b[0] == "link":
            if b[1] != a[1]:
                out.append("~ link %s %s -> %s" % (p, b[1], a[1]))
            continue
        if b[1] != a[1]:
            out.append("~ %s %s attributes %s -> %s" % (b[0], p, b[1], a[1]))
        if b[0] == "file" and b[2] != a[2]:
            if p in before["inis"] and p in after["inis"]:
                out.extend(_ini_diff(p, before["inis"][p], after["inis"][p]))
            else:
                out.append("~ file %s content" % p)
    for root in ("HKLM", "HKCU"):
        b, a = before["hives"].get(root), after["hives"].get(root)
        if b != a:
            out.append("~ registry %s %s -> %s" % (root, b, a))
    bk, ak = before["keys"], after["keys"]
    for k in bk.keys() - ak.keys():
        out.append("- key %s" % bk[k])
    for k in ak.keys() - bk.keys():
        out.append("+ key %s" % ak[k])
    bv, av = before["values"], after["values"]
    for ident in bv.keys() - av.keys():
        if ident[0] in ak:  # values of removed keys go with their key
            kd, vn, data = bv[ident]
            out.append("- value %s %s %s" % (kd, vn, data))
    for ident in av.keys() - bv.keys():
        kd, vn, data = av[ident]
        out.append("+ value %s %s %s" % (kd, vn, data))
    for ident in bv.keys() & av.keys():
        if bv[ident][2] != av[ident][2]:
            kd, vn, data = bv[ident]
            out.append("~ value %s %s %s -> %s" % (kd, vn, data, av[ident][2]))
    return sort_changes(out)


def _ini_diff(path: str, b: dict, a: dict) -> list[str]:
    out = []
    be, ae = b["entries"], a["entries"]
    for ident in be.keys() - ae.keys():
        sec, key, val = be[ident]
        out.append("- ini %s [%s] %s %s" % (path, sec, key, quote(val)))
    for ident in ae.keys() - be.keys():
        sec, key, val = ae[ident]
        out.append("+ ini %s [%s] %s %s" % (path, sec, key, quote(val)))
    for ident in be.keys() & ae.keys():
        if be[ident][2] != ae[ident][2]:
            sec, key, val = be[ident]
            out.append("~ ini %s [%s] %s %s -> %s" % (path, sec, key, quote(val), quote(ae[ident][2])))
    if b["eol"] != a["eol"]:
        out.append("~ ini %s line-ends %s -> %s" % (path, b["eol"], a["eol"]))
    common = be.keys() & ae.keys()
    if b["other"] != a["other"] or [i for i in b["order"] if i in common] != [
        i for i in a["order"] if i in common
    ]:
        out.append("~ ini %s layout" % path)
    return out


def sort_changes(lines: list[str]) -> list[str]:
    """Change lines in their listing order: by what changed, then by the sign."""
    return sorted(lines, key=lambda l: (l[2:], l))


def render(snap: dict) -> list[str]:
    """A full listing of a snapshot (used by tools/dump-machine)."""
    out = []
    for p in sorted(snap["files"]):
        e = snap["files"][p]
        if e[0] == "file":
            out.append("file %s %s sha256:%s" % (p, e[1], e[2][:16]))
        elif e[0] == "dir":
            out.append("dir %s %s" % (p, e[1]))
        else:
            out.append("link %s -> %s" % (p, e[1]))
        if p in snap["inis"]:
            ini = snap["inis"][p]
            for ident in ini["order"]:
                sec, key, val = ini["entries"][ident]
                out.append("ini %s [%s] %s %s" % (p, sec, key, quote(val)))
    for k in sorted(snap["keys"].values(), key=str.lower):
        out.append("key %s" % k)
    for ident in sorted(snap["values"], key=lambda i: (snap["values"][i][0].lower(), i[1])):
        kd, vn, data = snap["values"][ident]
        out.append("value %s %s %s" % (kd, vn, data))
    return out
