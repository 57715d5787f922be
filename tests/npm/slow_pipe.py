"""Runs a command whose standard output is a pipe that does not block, read slowly, so that
its writes come back short or with EAGAIN; copies what it wrote to our standard output and
exits with its status, or with 124 when it has not ended within 20 s (and is killed).
usage: slow_pipe.py COMMAND [ARGS...]"""
import fcntl
import os
import signal
import subprocess
import sys
import time

read_end, write_end = os.pipe()
flags = fcntl.fcntl(write_end, fcntl.F_GETFL)
fcntl.fcntl(write_end, fcntl.F_SETFL, flags | os.O_NONBLOCK)
child = subprocess.Popen(sys.argv[1:], stdout=write_end)
os.close(write_end)


def too_late(_signal, _frame):
    child.kill()
    sys.exit(124)


signal.signal(signal.SIGALRM, too_late)
signal.alarm(20)
while True:
    time.sleep(0.002)
    chunk = os.read(read_end, 4096)
    if not chunk:
        break
    sys.stdout.buffer.write(chunk)
sys.stdout.flush()
sys.exit(child.wait() & 0xff)
