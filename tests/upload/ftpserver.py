"""FTP server on 127.0.0.1 for the upload tests (pyftpdlib).

Every command a client sends is appended to --command-log (PASS masked). The
file --switch, read on every command, changes the server's behaviour while it
runs:
    refuse-login    USER and PASS are answered 530
    refuse-upload   STOR is answered 553
    drop            the control connection is closed when STOR arrives
anything else (or no file): a normal server. The port (0: chosen by the
system) is written to --port-file once the server listens.
"""
import argparse
import os

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser()
    for option in ("--root", "--user", "--password", "--port-file", "--command-log", "--switch"):
        ap.add_argument(option, required=True)
    ap.add_argument("--port", type=int, default=0)
    a = ap.parse_args()
    os.chdir(a.root)

    class Handler(FTPHandler):
        auth_failed_timeout = 0.05  # the default delays every refused login by 3 s

        def pre_process_command(self, line, cmd, arg):
            with open(a.command_log, "a") as log:
                log.write(("PASS ******" if cmd == "PASS" else line) + "\n")
            try:
                with open(a.switch) as f:
                    switch = f.read().strip()
            except OSError:
                switch = ""
            if switch == "refuse-login" and cmd in ("USER", "PASS"):
                self.respond("530 Login refused by the test switch.")
                return
            if switch == "refuse-upload" and cmd == "STOR":
                self.respond("553 Upload refused by the test switch.")
                return
            if switch == "drop" and cmd == "STOR":
                self.close()
                return
            return super().pre_process_command(line, cmd, arg)

    authorizer = DummyAuthorizer()
    authorizer.add_user(a.user, a.password, a.root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.passive_ports = None
    server = FTPServer(("127.0.0.1", a.port), Handler)
    with open(a.port_file + ".tmp", "w") as f:
        f.write(str(server.socket.getsockname()[1]))
    os.replace(a.port_file + ".tmp", a.port_file)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
