"""Runs the program under valgrind memcheck for the end-to-end tests and
reads valgrind's XML report afterwards.

A finding counts as ours when one frame of its stack lies in a source file of
this repository: a leak or a bad read there is a fault we can fix. Findings
that lie wholly in system libraries are printed for information only. Blocks
still reachable at exit (font and plugin caches kept by Qt and the loader) are
not leaks and are not reported."""
import os
import sys
import xml.etree.ElementTree as ElementTree

SLOWDOWN = 3  # under memcheck the program takes this many times longer, with margin
SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LEAK_KINDS = "definite,indirect,possible"


def requested():
    """True when the test was started with --memcheck after the program's path."""
    return "--memcheck" in sys.argv[2:]


def wrap(command, report):
    """The command line that runs `command` under memcheck, its report in `report`."""
    return ["valgrind", "--tool=memcheck", "--quiet", "--leak-check=full",
            "--show-leak-kinds=" + LEAK_KINDS, "--errors-for-leak-kinds=" + LEAK_KINDS,
            "--track-origins=yes", "--num-callers=40", "--xml=yes", "--xml-file=" + report] + command


def _frame_text(frame):
    name = frame.findtext("fn") or frame.findtext("obj") or "?"
    where = frame.findtext("file")
    return "%s (%s:%s)" % (name, where, frame.findtext("line")) if where else name


def _is_ours(frame):
    folder = frame.findtext("dir") or ""
    return folder == SOURCE_ROOT or folder.startswith(SOURCE_ROOT + os.sep)


def read(report):
    """Returns (ours, others, summary): findings as printable texts and a one-line summary."""
    if not os.path.exists(report):
        return ["valgrind wrote no report"], [], ""
    try:
        root = ElementTree.parse(report).getroot()
    except ElementTree.ParseError as error:
        # A report cut short means valgrind did not finish, which is itself a failure.
        return ["valgrind's report is incomplete: %s" % error], [], ""
    ours, others = [], []
    leaked = 0
    for error in root.iter("error"):
        kind = error.findtext("kind") or "?"
        what = error.findtext("xwhat/text") or error.findtext("what") or ""
        frames = error.findall("stack/frame")
        text = "%s: %s\n    %s" % (kind, what, "\n    ".join(_frame_text(f) for f in frames))
        if kind.startswith("Leak_"):
            leaked += int(error.findtext("xwhat/leakedbytes") or 0)
        (ours if any(_is_ours(f) for f in frames) else others).append(text)
    summary = "memcheck: %d finding(s) in our code, %d elsewhere, %d bytes lost" % (len(ours), len(others), leaked)
    return ours, others, summary


def check(report):
    """Prints the summary and the findings outside our code; returns ours, each a failure."""
    ours, others, summary = read(report)
    print(summary)
    for finding in others:
        print("elsewhere, left alone: " + finding)
    return ours
