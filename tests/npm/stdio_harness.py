"""Runs a command with unusual standard input or output, for the CLI's tests, and exits with its
status, or with 124 when it has not ended within 20 s (and is killed).

  stdio_harness.py pty FILE COMMAND [ARGS...]
      standard input is a terminal: a pty in raw mode that gives FILE's bytes, then closes
  stdio_harness.py slow-pipe COMMAND [ARGS...]
      standard output is a pipe that does not block, read slowly, so that writes come back
      short or with EAGAIN; what the command wrote is copied to our standard output"""
import fcntl
import os
import pty
import signal
import subprocess
import sys
import time
import tty


def run(command, **streams):
    child = subprocess.Popen(command, **streams)

    def too_late(_signal, _frame):
        child.kill()
        sys.exit(124)

    # A command that does not read or write as it should would leave us waiting for ever.
    signal.signal(signal.SIGALRM, too_late)
    signal.alarm(20)
    return child


def from_terminal(path, command):
    data = open(path, 'rb').read()
    master, slave = pty.openpty()
    tty.setraw(slave)
    child = run(command, stdin=slave)
    os.close(slave)
    os.write(master, data)
    time.sleep(0.5)  # the child has read what the terminal gave it
    os.close(master)
    return child.wait()


def to_slow_pipe(command):
    read_end, write_end = os.pipe()
    flags = fcntl.fcntl(write_end, fcntl.F_GETFL)
    fcntl.fcntl(write_end, fcntl.F_SETFL, flags | os.O_NONBLOCK)
    child = run(command, stdout=write_end)
    os.close(write_end)
    while True:
        time.sleep(0.002)
        chunk = os.read(read_end, 4096)
        if not chunk:
            break
        sys.stdout.buffer.write(chunk)
    sys.stdout.flush()
    return child.wait()


if sys.argv[1] == 'pty':
    status = from_terminal(sys.argv[2], sys.argv[3:])
else:
    status = to_slow_pipe(sys.argv[2:])
sys.exit(status & 0xff)
