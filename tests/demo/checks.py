"""What the process tests of the programs report with: a failed check ends
the test with the message."""
import sys


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)
