"""Runs the commands the README and the guides show, and checks what they print.

    doc_commands.py SOURCE_DIR VERSION BUILD_DIR

A fenced block tagged `console` is a session: each line that starts with "$ "
is a command (a trailing backslash continues it), and the lines after it, up
to the next command, are lines its output must hold, in any order, with runs
of spaces alike and "..." standing for any text; a line of "..." alone says
that more is printed. Each command must exit 0: a page that shows a failure
shows its status with `; echo "exit $?"`. A block tagged with a file name
(```cpp file=host.cpp) is written to that file before the page's first
command, so a page can build what it shows. Blocks tagged otherwise (`sh`)
are shown, not run.

The commands run as on a machine with the packages installed: BUILD_DIR is
installed into a scratch prefix first, whose programs, libraries, qx25.pc,
CMake package and Python module the commands find (paths under /usr/share/qx25 are read as the
prefix's). The commands of one page run in order in a scratch folder of their
own; where the page names the line /tmp/qx25-line, a simulator of four
controllers answers there (the scratch folder's own), started before the
page's first command.

The newest version NEWS names must be VERSION, the project's.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

SHARED_LINE = "/tmp/qx25-line"
# A bound on a hung command only; a page's commands take seconds.
COMMAND_SECONDS = 120
PAGES = ["README.md"]  # and every docs/*.md


def files(text):
    """{name: content} of the blocks tagged file=NAME."""
    return {m.group(1): m.group(2) for m in
            re.finditer(r"^```+\S*[ \t]+file=(\S+)[ \t]*\n(.*?)^```", text, re.M | re.S)}


def sessions(text):
    """(line number, command, expected lines) of every console block."""
    found, block, fence = [], None, None
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        if fence is None:
            m = re.match(r"^(```+)\s*(\S*)", line)
            if m:
                fence = m.group(1)
                block = [] if m.group(2) == "console" else None
        elif line.startswith(fence) and line.strip() == fence:
            fence = None
        elif block is not None:
            if line.startswith("$ "):
                start, command = i + 1, line[2:]
                while command.endswith("\\") and i + 1 < len(lines):
                    i += 1
                    command = command[:-1] + " " + lines[i].strip()
                found.append((start, command, []))
            elif found and line.strip() and line.strip() != "...":
                found[-1][2].append(line)
        i += 1
    return found


def pattern(expected):
    words = [re.escape(w).replace(re.escape("..."), ".*") for w in expected.split()]
    return re.compile(r"^\s*" + r"\s+".join(words) + r"\s*$")


def start_simulator(work, env):
    line = os.path.join(work, "qx25-line")
    program = shutil.which("qx25-sim", path=env["PATH"])
    sim = subprocess.Popen([program, "--link", line, "--controllers", "1-4", "--no-pacing"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    # It prints its line once it answers.
    if sim.stdout.readline().strip() != line:
        sim.kill()
        raise RuntimeError("qx25-sim did not start")
    return sim, line


def run_page(path, name, env, prefix):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    found = sessions(text)
    if not found:
        return 0, 0
    failures = 0
    work = tempfile.mkdtemp(prefix="qx25-docs-")
    for file, content in files(text).items():
        with open(os.path.join(work, file), "w", encoding="utf-8") as f:
            f.write(content)
    sim, line = (None, None)
    try:
        if SHARED_LINE in text:
            sim, line = start_simulator(work, env)
        for number, command, expected in found:
            shown = command
            if line:
                command = command.replace(SHARED_LINE, line)
            command = command.replace("/usr/share/qx25/", prefix + "/share/qx25/")
            try:
                r = subprocess.run(["bash", "-c", command], cwd=work, env=env, text=True,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   timeout=COMMAND_SECONDS)
                status, printed = r.returncode, r.stdout
            except subprocess.TimeoutExpired as e:
                status, printed = f"nothing: still running after {COMMAND_SECONDS} s", e.output or ""
                printed = printed.decode() if isinstance(printed, bytes) else printed
            out = printed.split("\n")
            missing = [e for e in expected if not any(pattern(e).match(o) for o in out)]
            if status != 0 or missing:
                failures += 1
                print(f"{name}:{number}: $ {shown}")
                if status != 0:
                    print(f"  exited {status}")
                for e in missing:
                    print(f"  not printed: {e}")
                print("  printed:\n" + "\n".join("    " + o for o in out))
    finally:
        if sim:
            sim.terminate()
            sim.wait()
        shutil.rmtree(work, ignore_errors=True)
    return len(found), failures


def newest_version(source):
    with open(os.path.join(source, "NEWS"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r"^qx25 (\S+)", line)
            if m:
                return m.group(1)
    return None


def install(build, prefix):
    for component in ("Runtime", "Development", "Tools"):
        subprocess.run(["cmake", "--install", build, "--prefix", prefix, "--component", component],
                       check=True, stdout=subprocess.DEVNULL)


def main():
    source, version, build = sys.argv[1:4]
    root = tempfile.mkdtemp(prefix="qx25-docs-prefix-")
    prefix = os.path.join(root, "usr")
    try:
        install(build, prefix)
        return check(source, version, prefix)
    finally:
        shutil.rmtree(root, ignore_errors=True)


def check(source, version, prefix):
    env = dict(os.environ)
    env["PATH"] = os.pathsep.join([os.path.join(prefix, "bin"), env.get("PATH", "")])
    env["LD_LIBRARY_PATH"] = os.path.join(prefix, "lib")
    env["PKG_CONFIG_PATH"] = os.path.join(prefix, "lib", "pkgconfig")
    env["CMAKE_PREFIX_PATH"] = prefix
    env["LC_ALL"] = "C.UTF-8"
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    pages = PAGES + sorted(os.path.join("docs", p) for p in os.listdir(os.path.join(source, "docs"))
                           if p.endswith(".md"))
    total = failed = 0
    for page in pages:
        count, failures = run_page(os.path.join(source, page), page, env, prefix)
        print(f"{page}: {count} commands, {failures} failed")
        total += count
        failed += failures
    news = newest_version(source)
    if news != version:
        print(f"NEWS: the newest version is {news}, the project's {version}")
        failed += 1
    if total == 0:
        print("no commands found: the pages lost their console blocks")
        failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
