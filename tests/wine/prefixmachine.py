"""Carrying a machine directory into a real Wine prefix and the outcome back.

A scenario's machine (tools/make-demo-machine and the scenario's setup) is a
Wine prefix layout without Wine in it: drive_c/ with the scenario's files and
two registry hives with the scenario's keys.  To run the Windows program on
it, the machine is laid over a copy of a real prefix made by wineboot:

- the prefix copy is a tree of hard links to the template (fast; nothing in
  it is ever written in place: every file the machine brings replaces the
  link, and the registry files are private copies);
- the machine's drive_c entries are copied over the prefix's (names matched
  without regard to letter case, as Windows would), keeping their
  permissions and the user.DOSATTRIB attribute;
- the machine's registry keys and values are written over the prefix's, and
  the shell folders the machine names (Desktop, Start Menu, Programs) are
  also set as the prefix's "User Shell Folders", from which Wine's shell
  computes them; so SHGetSpecialFolderPathA and Program Manager's groups
  resolve to the machine's folders;
- the sections of the machine's win.ini that Windows NT keeps in the
  registry (IniFileMapping: [Desktop] is HKCU\Control Panel\Desktop) are
  written there, which is where GetPrivateProfileStringA reads them on Wine
  as on Windows.  A path in them written with the machine's short names is
  written with Wine's short names for the same files, as the installation
  would have recorded it on that system.

After the run, everything of the machine is read back from the prefix:
files and directories that are gone or changed, registry keys and values
that are gone or changed, and what the program created (entries inside the
machine's own directories; keys under Software\\Classes and the settings
store).  What Wine itself keeps or makes in its prefix is never carried back.
"""

from __future__ import annotations

import hashlib
import os
import re
import shutil
import stat
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools"))
import winemachine as wm  # noqa: E402

SHELL_FOLDERS = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
USER_SHELL_FOLDERS = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"
# Registry areas in which keys the program creates are carried back.
CREATED_KEY_AREAS = ("software\\classes\\", "software\\vb and vba program settings\\")


def _entries(directory: str) -> list[str]:
    try:
        return os.listdir(directory)
    except OSError:
        return []


def match_name(directory: str, name: str) -> str:
    """The entry of directory that name means: exact, else without case."""
    names = _entries(directory)
    if name in names:
        return name
    low = name.lower()
    candidates = sorted(n for n in names if n.lower() == low)
    return candidates[0] if candidates else name


def resolve_windows_path(prefix: str, windows_path: str) -> str:
    """The host path of a C:\\ path inside the prefix (letter case ignored)."""
    path = windows_path.replace("/", "\\")
    if len(path) < 2 or path[1] != ":" or path[0].lower() != "c":
        raise ValueError("only drive C: paths are supported: %r" % windows_path)
    host = os.path.join(prefix, "drive_c")
    for part in [p for p in path[2:].split("\\") if p]:
        host = os.path.join(host, match_name(host, part))
    return host


def _copy_file(source: str, target: str) -> None:
    if os.path.lexists(target):
        os.unlink(target)  # never write through a hard link into the template
    shutil.copy2(source, target, follow_symlinks=False)


def _copy_dir_attributes(source: str, target: str) -> None:
    shutil.copystat(source, target, follow_symlinks=False)


def _within_drive(link: str, source: str, drive_root: str) -> str:
    """The target of the machine's link `source` as the prefix needs it: a
    host path into the machine's own drive becomes the same path relative to
    the link, so that it leads into the prefix's drive as it led into the
    machine's (a link to the machine's C:\\windows is a link to C:\\windows).
    Any other target is kept."""
    if not os.path.isabs(link):
        return link
    target = os.path.normpath(link)
    root = os.path.normpath(os.path.abspath(drive_root))
    if target != root and not target.startswith(root + os.sep):
        return link
    return os.path.relpath(target, os.path.dirname(source))


def _file_state(path: str) -> tuple:
    st = os.lstat(path)
    if stat.S_ISLNK(st.st_mode):
        return ("link", os.readlink(path))
    attributes = (stat.S_IMODE(st.st_mode), wm.dos_attributes(path))
    if stat.S_ISDIR(st.st_mode):
        return ("dir", attributes)
    with open(path, "rb") as f:
        return ("file", attributes, hashlib.sha256(f.read()).hexdigest())


INI_MAPPING = "Software\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\win.ini"
SHORT_NAME_CHARS = set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789$%'-_@~`!(){}^#&")
WINE_INVALID_DOS_CHARS = set('*?<>|"+=,;[] \xe5')
WINE_HASH_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"


def _valid_prefix(text: str, limit: int) -> str:
    return "".join(c.upper() for c in text if c in SHORT_NAME_CHARS)[:limit]


def machine_short_names(directory: str) -> dict[str, str]:
    """Upper-cased short name -> entry, by the machine directory's rule: an
    8.3 name stays; another is six characters of its base, ~N and three of
    its extension, N counting the entries before it with the same stem."""
    out: dict[str, str] = {}
    seen: dict[tuple[str, str], int] = {}
    for name in sorted(_entries(directory)):
        base, dot, ext = name.rpartition(".") if "." in name[1:] else (name, "", "")
        if (0 < len(base) <= 8 and len(ext) <= 3 and (not dot or ext)
                and all(c in SHORT_NAME_CHARS for c in base + ext)):
            out[name.upper()] = name
            continue
        stem = (_valid_prefix(base, 6), _valid_prefix(ext, 3))
        seen[stem] = seen.get(stem, 0) + 1
        suffix = "~%d" % seen[stem]
        short = stem[0][: max(0, 8 - len(suffix))] + suffix + ("." + stem[1] if stem[1] else "")
        out[short] = name
    return out


def wine_short_name(name: str) -> str:
    """The short name Wine gives a file name on a Unix file system."""
    if _wine_legal_8dot3(name):
        return name
    low = name.lower()
    value = 0xBEEF
    for i in range(len(low) - 1):
        value = ((value << 3) ^ (value >> 5) ^ ord(low[i]) ^ (ord(low[i + 1]) << 8)) & 0xFFFF
    value = ((value << 3) ^ (value >> 5) ^ ord(low[-1])) & 0xFFFF
    ext = None
    for i in range(1, len(name) - 1):
        if name[i] == ".":
            ext = i
    dos = lambda c: "_" if (c in WINE_INVALID_DOS_CHARS or c in "~." or ord(c) > 0x7F) else c
    stem = "".join(dos(c) for c in name[: (ext if ext is not None else len(name))][:4])
    out = stem + "~" * (5 - len(stem))
    out += WINE_HASH_CHARS[(value >> 10) & 0x1F] + WINE_HASH_CHARS[(value >> 5) & 0x1F]
    out += WINE_HASH_CHARS[value & 0x1F]
    if ext is not None:
        out += "." + "".join(dos(c) for c in name[ext + 1 : ext + 4])
    return out.upper()


def _wine_legal_8dot3(name: str) -> bool:
    if len(name) > 12 or not name:
        return False
    if name[0] == ".":
        return name in (".", "..")
    if any(ord(c) > 0x7F or c in WINE_INVALID_DOS_CHARS or c in ":/\\" for c in name):
        return False
    if name.count(".") > 1:
        return False
    dot = name.find(".")
    if dot == -1:
        return len(name) <= 8
    return dot <= 8 and 1 < len(name) - dot < 5


def _merge_values(target: wm.RegKey, values: list[wm.RegValue]) -> None:
    for value in values:
        existing = target.find(value.name)
        if existing is None:
            target.values.append(wm.RegValue(value.name, value.raw))
        else:
            existing.raw = value.raw


def read_ini_sections(path: str) -> dict[str, list[tuple[str, str]]]:
    sections: dict[str, list[tuple[str, str]]] = {}
    current = None
    with open(path, "r", encoding="latin-1") as f:
        for line in f.read().splitlines():
            line = line.strip()
            if line.startswith("[") and "]" in line:
                current = sections.setdefault(line[1 : line.index("]")].lower(), [])
            elif current is not None and "=" in line and not line.startswith(";"):
                key, _, value = line.partition("=")
                current.append((key.strip(), value.strip()))
    return sections


class PrefixRun:
    """One machine laid over one copy of the template prefix."""

    def __init__(self, template: str, machine: str, prefix: str):
        self.template = template
        self.machine = machine
        self.prefix = prefix
        # machine drive_c relative path -> host path in the prefix
        self.mapping: dict[str, str] = {}
        # relative paths of machine directories the template did not have
        self.own_dirs: set[str] = set()
        self.before: dict[str, tuple] = {}
        self.placed_exe: str | None = None
        self.exe_shadowed: str | None = None  # machine path the program file covers

    # -- into the prefix ----------------------------------------------------

    def prepare(self) -> None:
        if os.path.lexists(self.prefix):
            shutil.rmtree(self.prefix)
        subprocess.run(["cp", "-al", self.template, self.prefix], check=True)
        # The server's rendezvous note belongs to the server that wrote it.
        stale = os.path.join(self.prefix, "wineserver")
        if os.path.lexists(stale):
            os.unlink(stale)
        for name in os.listdir(self.prefix):
            if name.endswith(".reg"):
                full = os.path.join(self.prefix, name)
                data = open(full, "rb").read()
                os.unlink(full)
                with open(full, "wb") as f:
                    f.write(data)
        self._overlay_files()
        self.hives = {
            root: wm.Hive.load(os.path.join(self.prefix, fname), root)
            for root, fname in wm.HIVE_FILES.items()
        }
        self._merge_registry()
        self._map_win_ini()
        # What the registry holds when the program starts: the baseline that
        # tells the program's own changes from what was there.
        self.merged: dict[str, tuple[dict[str, str], dict[str, wm.RegKey]]] = {}
        for root, fname in wm.HIVE_FILES.items():
            hive = self.hives[root]
            hive.save(os.path.join(self.prefix, fname))
            self.merged[root] = (hive.keys(), {b.path.lower(): b for b in hive.blocks})
        del self.hives

    def _overlay_files(self) -> None:
        source_root = os.path.join(self.machine, "drive_c")
        target_root = os.path.join(self.prefix, "drive_c")
        self.mapping[""] = target_root
        for dirpath, dirnames, filenames in os.walk(source_root):
            rel_dir = os.path.relpath(dirpath, source_root)
            rel_dir = "" if rel_dir == "." else rel_dir
            target_dir = self.mapping[rel_dir]
            for name in sorted(dirnames + filenames):
                source = os.path.join(dirpath, name)
                rel = os.path.join(rel_dir, name) if rel_dir else name
                target = os.path.join(target_dir, match_name(target_dir, name))
                if self._is_32bit_system_dir(rel):
                    target = os.path.join(target_dir, match_name(target_dir, "syswow64"))
                self.mapping[rel] = target
                self.before[rel] = _file_state(source)
                st = os.lstat(source)
                if stat.S_ISLNK(st.st_mode):
                    if os.path.lexists(target):
                        os.unlink(target)
                    link = _within_drive(os.readlink(source), source, source_root)
                    os.symlink(link, target)
                    self.before[rel] = ("link", link)
                elif stat.S_ISDIR(st.st_mode):
                    if not os.path.isdir(target):
                        os.mkdir(target)
                        self.own_dirs.add(rel)
                    _copy_dir_attributes(source, target)
                else:
                    _copy_file(source, target)
            dirnames[:] = [d for d in dirnames if not os.path.islink(os.path.join(dirpath, d))]

    def _is_32bit_system_dir(self, rel: str) -> bool:
        """Whether the machine's directory rel is what the prefix keeps in its
        32-bit system directory.  A machine without windows\\syswow64 is seen
        as the application's 32-bit setup saw it: its windows\\system32 holds
        what a 32-bit program finds there, which a 64-bit prefix (as 64-bit
        Windows) keeps in windows\\syswow64.  A machine with its own syswow64
        is laid as it is."""
        if rel.lower() != os.path.join("windows", "system32"):
            return False
        machine_windows = os.path.join(self.machine, "drive_c", match_name(
            os.path.join(self.machine, "drive_c"), "windows"))
        prefix_windows = os.path.join(self.prefix, "drive_c", "windows")
        return (not os.path.isdir(os.path.join(machine_windows, match_name(machine_windows, "syswow64")))
                and os.path.isdir(os.path.join(prefix_windows, match_name(prefix_windows, "syswow64"))))

    def machine_names(self, text: str) -> str:
        """text with the paths the program names in the prefix's 32-bit system
        directory named as the machine has them: where the machine's
        windows\\system32 was laid in the prefix's syswow64, a change the
        program reports as landing in C:\\windows\\syswow64 lands in the
        machine's C:\\windows\\system32 (as carry_back carries the files)."""
        system = os.path.join("windows", "system32")
        laid = [target for rel, target in self.mapping.items() if rel.lower() == system]
        if not laid or os.path.basename(laid[0]).lower() != "syswow64":
            return text
        return re.sub(r"(?i)\bC:\\windows\\syswow64(?=\\|$)", r"C:\\windows\\system32", text,
                      flags=re.MULTILINE)

    def _merge_registry(self) -> None:
        for root, fname in wm.HIVE_FILES.items():
            machine_hive = wm.Hive.load(os.path.join(self.machine, fname), root)
            prefix_hive = self.hives[root]
            for block in machine_hive.blocks:
                _merge_values(prefix_hive.create(block.path), block.values)
            if root == "HKCU":
                folders = machine_hive.block(SHELL_FOLDERS)
                if folders is not None:
                    _merge_values(prefix_hive.create(USER_SHELL_FOLDERS), folders.values)

    def _machine_host_path(self, windows_path: str) -> str | None:
        """The machine file a C:\\ path names, short components included."""
        path = windows_path.replace("/", "\\")
        if len(path) < 2 or path[1] != ":" or path[0].lower() != "c":
            return None
        host = os.path.join(self.machine, "drive_c")
        for part in [p for p in path[2:].split("\\") if p]:
            name = match_name(host, part)
            if not os.path.lexists(os.path.join(host, name)):
                name = machine_short_names(host).get(part.upper())
                if name is None:
                    return None
            host = os.path.join(host, name)
        return host

    def _wine_short_path(self, host: str) -> str:
        rel = os.path.relpath(host, os.path.join(self.machine, "drive_c"))
        return "C:\\" + "\\".join(wine_short_name(p) for p in rel.split(os.sep))

    def _map_win_ini(self) -> None:
        win_ini = self._machine_host_path("C:\\windows\\win.ini")
        if win_ini is None or not os.path.isfile(win_ini):
            return
        mapping = self.hives["HKLM"].block(INI_MAPPING)
        if mapping is None:
            return
        hives = {"USR": (self.hives["HKCU"], ""), "SYS": (self.hives["HKLM"], "Software\\")}
        sections = read_ini_sections(win_ini)
        for value in mapping.values:
            target = value.string()
            if value.name is None or target is None or value.name.lower() not in sections:
                continue
            target = target.lstrip("!#@")
            root, _, key = target.partition(":")
            if root not in hives or not key:
                continue
            hive, base = hives[root]
            block = hive.create(base + key)
            for name, text in sections[value.name.lower()]:
                if "~" in text:
                    long_path = self._machine_host_path(text)
                    if long_path is not None:
                        text = self._wine_short_path(long_path)
                block.set(name, text)

    def place_program(self, program: str, exe_dir: str) -> str:
        """Copies the program into exe_dir (a C:\\ path) as KESTOVAN.EXE;
        returns its host directory."""
        host_dir = resolve_windows_path(self.prefix, exe_dir)
        os.makedirs(host_dir, exist_ok=True)
        target = os.path.join(host_dir, match_name(host_dir, "KESTOVAN.EXE"))
        # Where the program file really lies (exe_dir may lead there through
        # a link), as the machine's files are mapped.
        real_dir = os.path.relpath(os.path.realpath(host_dir), os.path.realpath(self.prefix))
        placed = os.path.normpath(os.path.join(self.prefix, real_dir, os.path.basename(target)))
        for rel, host in self.mapping.items():
            if host in (target, placed):
                self.exe_shadowed = rel
        _copy_file(program, target)
        os.chmod(target, 0o755)
        self.placed_exe = placed
        return host_dir

    # -- back to the machine -------------------------------------------------

    def carry_back(self) -> None:
        self._carry_back_files()
        self._carry_back_registry()

    def _carry_back_files(self) -> None:
        machine_root = os.path.join(self.machine, "drive_c")
        # Deepest first, so that a removed directory's entries go before it.
        for rel in sorted(self.before, key=lambda r: r.count(os.sep), reverse=True):
            host = self.mapping[rel]
            local = os.path.join(machine_root, rel)
            if rel == self.exe_shadowed:
                if not os.path.lexists(host):
                    os.unlink(local)
                continue
            if not os.path.lexists(host):
                if os.path.isdir(local) and not os.path.islink(local):
                    shutil.rmtree(local)
                elif os.path.lexists(local):
                    os.unlink(local)
                continue
            if _file_state(host) == self.before[rel]:
                continue
            st = os.lstat(host)
            if stat.S_ISDIR(st.st_mode):
                _copy_dir_attributes(host, local)
            elif stat.S_ISLNK(st.st_mode):
                os.unlink(local)
                os.symlink(os.readlink(host), local)
            else:
                _copy_file(host, local)
        # What the program made inside the machine's own directories.
        known = set(self.mapping.values())
        if self.placed_exe:
            known.add(self.placed_exe)
        for rel in sorted(self.own_dirs):
            host = self.mapping[rel]
            if not os.path.isdir(host) or os.path.islink(host):
                continue
            for name in sorted(_entries(host)):
                full = os.path.join(host, name)
                if full in known:
                    continue
                local = os.path.join(machine_root, rel, name)
                if os.path.isdir(full) and not os.path.islink(full):
                    shutil.copytree(full, local, symlinks=True)
                else:
                    shutil.copy2(full, local, follow_symlinks=False)

    def _carry_back_registry(self) -> None:
        for root, fname in wm.HIVE_FILES.items():
            machine_path = os.path.join(self.machine, fname)
            machine_hive = wm.Hive.load(machine_path, root)
            merged_keys, merged_blocks = self.merged[root]
            after = wm.Hive.load(os.path.join(self.prefix, fname), root)
            after_keys = after.keys()

            after_blocks = {b.path.lower(): b for b in after.blocks}
            gone = [b.path for b in machine_hive.blocks if b.path.lower() not in after_keys]
            for path in sorted(gone, key=len):
                machine_hive.delete(path)
            for block in machine_hive.blocks:
                now = after_blocks.get(block.path.lower())
                was = merged_blocks.get(block.path.lower())
                if now is None:
                    block.values = []
                    continue
                kept = []
                for value in block.values:
                    current = now.find(value.name)
                    if current is not None:
                        kept.append(wm.RegValue(value.name, current.raw))
                for value in now.values:
                    if block.find(value.name) is None and (was is None or was.find(value.name) is None):
                        kept.append(wm.RegValue(value.name, value.raw))
                block.values = kept
            machine_keys = machine_hive.keys()
            for block in after.blocks:
                low = block.path.lower()
                if low in merged_keys or low in machine_keys:
                    continue
                if not any((low + "\\").startswith(area) for area in CREATED_KEY_AREAS):
                    continue
                created = machine_hive.create(block.path)
                created.values = [wm.RegValue(v.name, v.raw) for v in block.values]
            machine_hive.save(machine_path)


def windows_file_path(host_path: str) -> str:
    """A host path as Wine sees it through its Z: drive."""
    return "Z:" + os.path.abspath(host_path).replace("/", "\\")
