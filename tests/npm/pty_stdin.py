"""Runs a command with a terminal as its standard input: a pty in raw mode that gives the
bytes of a file and then closes. Prints nothing; exits with the command's status, standard
output and error passed through, or with 124 when it has not ended within 20 s (and is
killed). usage: pty_stdin.py FILE COMMAND [ARGS...]"""
import os
import pty
import signal
import subprocess
import sys
import time
import tty

data = open(sys.argv[1], 'rb').read()
master, slave = pty.openpty()
tty.setraw(slave)
child = subprocess.Popen(sys.argv[2:], stdin=slave)
os.close(slave)


def too_late(_signal, _frame):
    child.kill()
    sys.exit(124)


# A command that does not read the terminal would leave the write below waiting for ever.
signal.signal(signal.SIGALRM, too_late)
signal.alarm(20)
os.write(master, data)
time.sleep(0.5)  # the child has read what the terminal gave it
os.close(master)
sys.exit(child.wait() & 0xff)
