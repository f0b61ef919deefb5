#!/usr/bin/env python3
"""The floor under any client's first poll: logs in with USER/PASS, sends
RETR for every message and QUIT at once over one connection, and throws away
what comes back, only counting the replies. No parsing, no storing: what is
left is the server's own work and the bytes on the wire.

    pop3_floor.py PORT USER PASSWORD COUNT

Exits 1 unless COUNT whole messages came back.
"""

import socket
import sys
import threading

TERMINATOR = b"\r\n.\r\n"


def read_line(sock: socket.socket) -> bytes:
    line = b""
    while not line.endswith(b"\r\n"):
        byte = sock.recv(1)
        if not byte:
            raise SystemExit("the server closed the connection")
        line += byte
    return line


def command(sock: socket.socket, text: str) -> None:
    sock.sendall(text.encode() + b"\r\n")
    reply = read_line(sock)
    if not reply.startswith(b"+OK"):
        raise SystemExit(f"{text.split()[0]} refused: {reply!r}")


def main() -> int:
    port, user, password, count = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    sock = socket.create_connection(("127.0.0.1", int(port)))
    read_line(sock)  # greeting
    command(sock, "USER " + user)
    command(sock, "PASS " + password)
    requests = "".join(f"RETR {n}\r\n" for n in range(1, count + 1)) + "QUIT\r\n"
    # Sent beside the reading: a server whose replies fill the socket stops
    # reading commands until someone reads them.
    sender = threading.Thread(target=sock.sendall, args=(requests.encode(),))
    sender.start()
    ends = 0
    tail = b""
    while True:
        chunk = sock.recv(1 << 16)
        if not chunk:
            break
        # The last bytes of the chunk before, so a terminator cut in two counts.
        ends += (tail + chunk).count(TERMINATOR) - tail.count(TERMINATOR)
        tail = (tail + chunk)[-(len(TERMINATOR) - 1):]
    sender.join()
    if ends != count:
        print(f"pop3_floor.py: {ends} of {count} messages came back", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
