"""What the process tests of the programs report with (a failed check ends
the test with the message), and watch a running program with."""
import os
import sys


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def bytes_written(pid, directory):
    """The size of the largest file in `directory` that process `pid` has
    open, named or not (a file without a name shows under /proc all the
    same); 0 when there is none."""
    largest = 0
    fds = "/proc/%d/fd" % pid
    try:
        names = os.listdir(fds)
    except OSError:
        return 0
    for fd in names:
        try:
            if os.readlink(os.path.join(fds, fd)).startswith(directory + "/"):
                largest = max(largest, os.stat(os.path.join(fds, fd)).st_size)
        except OSError:
            pass
    return largest
