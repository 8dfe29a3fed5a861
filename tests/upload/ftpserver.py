"""FTP server on 127.0.0.1 for the upload tests (pyftpdlib).

Every command a client sends is appended to --command-log (PASS masked);
every upload that ends is appended to --transfer-log as "received <path>" or
"incomplete <path>" (the path below the root). The file --switch, read on
every command and every data connection, changes the server's behaviour
while it runs:
    refuse-login    USER and PASS are answered 530
    refuse-upload   STOR is answered 553
    refuse-rename   RNFR and RNTO are answered 553
    no-rename-over  RNTO onto a name that exists is answered 553, as some
                    servers do
    drop            the control connection is closed when STOR arrives
    no-size         SIZE is answered 502, as by a server without it
    throttle N      uploads are received at N bytes per second at most
anything else (or no file): a normal server. The port (0: chosen by the
system) is written to --port-file once the server listens.

The account has the rights the station needs and no more: change folder,
make folder, store, rename and delete ("emwfd"), and ask a file's size
(SIZE, which pyftpdlib would count as a listing right), nothing to list or
read.
"""
import argparse
import os

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser()
    for option in ("--root", "--user", "--password", "--port-file", "--command-log", "--transfer-log", "--switch"):
        ap.add_argument(option, required=True)
    ap.add_argument("--port", type=int, default=0)
    a = ap.parse_args()
    os.chdir(a.root)
    root = os.path.realpath(a.root)

    def read_switch():
        try:
            with open(a.switch) as f:
                return f.read().strip()
        except OSError:
            return ""

    def throttle():
        words = read_switch().split()
        if len(words) == 2 and words[0] == "throttle" and words[1].isdigit():
            return int(words[1])
        return 0

    class DataHandler(ThrottledDTPHandler):
        def __init__(self, sock, cmd_channel):
            # Before the base sizes its buffers from it.
            self.read_limit = throttle()
            super().__init__(sock, cmd_channel)

    class Handler(FTPHandler):
        auth_failed_timeout = 0.05  # the default delays every refused login by 3 s
        dtp_handler = DataHandler

        def transfer(self, word, path):
            with open(a.transfer_log, "a") as log:
                log.write(word + " " + "/" + os.path.relpath(os.path.realpath(path), root) + "\n")

        def on_file_received(self, file):
            self.transfer("received", file)

        def on_incomplete_file_received(self, file):
            self.transfer("incomplete", file)

        def pre_process_command(self, line, cmd, arg):
            with open(a.command_log, "a") as log:
                log.write(("PASS ******" if cmd == "PASS" else line) + "\n")
            switch = read_switch()
            if switch == "refuse-login" and cmd in ("USER", "PASS"):
                self.respond("530 Login refused by the test switch.")
                return
            if switch == "refuse-upload" and cmd == "STOR":
                self.respond("553 Upload refused by the test switch.")
                return
            if switch == "refuse-rename" and cmd in ("RNFR", "RNTO"):
                self.respond("553 Rename refused by the test switch.")
                return
            if switch == "no-rename-over" and cmd == "RNTO" and os.path.lexists(self.fs.ftp2fs(self.fs.ftpnorm(arg))):
                self.respond("553 The name exists (test switch).")
                return
            if switch == "no-size" and cmd == "SIZE":
                self.respond("502 Command not implemented (test switch).")
                return
            if switch == "drop" and cmd == "STOR":
                self.close()
                return
            # SIZE without the listing right, as many servers (vsftpd) answer it.
            if cmd == "SIZE" and self.authenticated and arg:
                path = self.fs.ftp2fs(arg)
                if not self.fs.validpath(path):
                    self.respond("550 Outside the root.")
                    return
                self.process_command(cmd, path)
                return
            return super().pre_process_command(line, cmd, arg)

    authorizer = DummyAuthorizer()
    authorizer.add_user(a.user, a.password, a.root, perm="emwfd")
    Handler.authorizer = authorizer
    Handler.passive_ports = None
    server = FTPServer(("127.0.0.1", a.port), Handler)
    with open(a.port_file + ".tmp", "w") as f:
        f.write(str(server.socket.getsockname()[1]))
    os.replace(a.port_file + ".tmp", a.port_file)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
