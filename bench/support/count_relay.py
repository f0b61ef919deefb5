#!/usr/bin/env python3
"""Relays TCP connections on 127.0.0.1 to a server port and counts the bytes
the server sends, for benchmarks that report how much a client reads.

    count_relay.py SERVER_PORT COUNT_FILE [LIFETIME_SECONDS]

Listens on 127.0.0.1 on a port of the system's choosing and prints it on
the first line of standard output. Each connection is relayed to
127.0.0.1:SERVER_PORT; when it ends, the number of bytes the server sent in
it is appended to COUNT_FILE as one line. Stops by itself after
LIFETIME_SECONDS (default 3600).
"""

import selectors
import socket
import sys
import threading
import time


def relay(client: socket.socket, server_port: int, count_file: str) -> None:
    server = socket.create_connection(("127.0.0.1", server_port))
    received = 0
    selector = selectors.DefaultSelector()
    selector.register(client, selectors.EVENT_READ, server)
    selector.register(server, selectors.EVENT_READ, client)
    open_ends = 2
    while open_ends:
        for key, _ in selector.select():
            try:
                data = key.fileobj.recv(1 << 16)
                if data:
                    key.data.sendall(data)
            except OSError:  # a reset ends that direction like a close
                data = b""
            if key.fileobj is server:
                received += len(data)
            if not data:
                selector.unregister(key.fileobj)
                try:
                    key.data.shutdown(socket.SHUT_WR)
                except OSError:
                    pass
                open_ends -= 1
    client.close()
    server.close()
    with open(count_file, "a") as out:
        out.write("%d\n" % received)


def main() -> int:
    server_port, count_file = int(sys.argv[1]), sys.argv[2]
    lifetime = float(sys.argv[3]) if len(sys.argv) > 3 else 3600.0
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    listener.settimeout(1.0)
    print(listener.getsockname()[1], flush=True)
    deadline = time.monotonic() + lifetime
    while time.monotonic() < deadline:
        try:
            client, _ = listener.accept()
        except socket.timeout:
            continue
        client.settimeout(None)
        threading.Thread(target=relay, args=(client, server_port, count_file), daemon=True).start()
    return 0


if __name__ == "__main__":
    sys.exit(main())
