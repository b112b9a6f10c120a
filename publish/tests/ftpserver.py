#!/usr/bin/python3
"""A real FTP server on 127.0.0.1 for the publish tests (Debian's pyftpdlib).

Prints "PORT <n>" once it listens. --mode picks a behaviour:
  normal   a plain server
  hostile  listings hold names that climb out of folders or carry line breaks
  stall    transfers never send a byte
  slow     downloads trickle, so that the server can be stopped half-way
"""
import argparse
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import ThreadedFTPServer

HOSTILE = ["fine.txt", "..", ".", "con\x01trol.txt", "evil\rname.txt", "a/b.txt", "/tmp/absolute.txt",
           "../../escaped.txt"]


class HostileHandler(FTPHandler):
    def ftp_LIST(self, path):
        lines = "".join("-rw-r--r--   1 owner    group           5 Jan 01 00:00 %s\r\n" % n for n in HOSTILE)
        self.push_dtp_data(lines.encode("utf-8"), isproducer=False, cmd="LIST")
        return path

    def ftp_RETR(self, file):
        self.push_dtp_data(b"pwned", isproducer=False, cmd="RETR")
        return file


class StallHandler(FTPHandler):
    def ftp_LIST(self, path):
        time.sleep(30)

    def ftp_RETR(self, file):
        time.sleep(30)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--user", default="tester")
    p.add_argument("--password", default="secret")
    p.add_argument("--mode", default="normal")
    a = p.parse_args()

    auth = DummyAuthorizer()
    auth.add_user(a.user, a.password, a.root, perm="elradfmwMT")
    handler = {"hostile": HostileHandler, "stall": StallHandler}.get(a.mode, FTPHandler)
    handler.authorizer = auth
    handler.passive_ports = None
    if a.mode == "slow":
        dtp = ThrottledDTPHandler
        dtp.read_limit = 20000
        dtp.write_limit = 20000
        handler.dtp_handler = dtp
    server = ThreadedFTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
