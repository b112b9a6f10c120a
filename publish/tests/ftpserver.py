#!/usr/bin/python3
"""A real FTP server on 127.0.0.1 for the publish tests.

Prints "PORT <n>" once it listens, or "SKIP <reason>" when it cannot run here.
Connections, failed logins and commands are written to --log, one a line, in
vsftpd's own words ('CONNECT: Client', 'FAIL LOGIN: Client',
'FTP command: Client "127.0.0.1", "LIST"'), so that a test reads both alike.
--mode picks the server and its behaviour:
  normal   Debian's pyftpdlib, plain
  vsftpd   Debian's vsftpd, anonymous login with --password as the one accepted
           password; it serves the folder above --root, so the session starts
           in the folder named like --root's last part
  hostile  listings hold names that climb out of folders, carry line breaks or
           a NUL; a listing of a folder named "locked" is refused; one of a
           folder named "odd" holds a device, a socket, a pipe and a German
           date between its folders
  tls      pyftpdlib offering TLS (AUTH TLS) with the certificate and key in
           the PEM file --cert, not requiring it
  nosize   pyftpdlib without the SIZE command
  stall    listings, downloads and entering a folder named "stalled" never answer
  slow     downloads trickle, so that the server can be stopped half-way
  full     an upload fails with "disk full" after its first 64 KB
  silent   accepts connections and never says a word
"""
import argparse
import ctypes
import errno
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler, _FileReadWriteError
from pyftpdlib.servers import ThreadedFTPServer

HOSTILE = ["fine.txt", "..", ".", "con\x01trol.txt", "evil\r\nname.txt", "a/b.txt", "/tmp/absolute.txt",
           "../../escaped.txt", "trail.txt\x00.exe"]
ODD = ["drwxr-xr-x   2 owner    group        4096 Jan 01 00:00 public_html",
       "crw-rw-rw-   1 root     root       1,   3 Jan 01 00:00 null",
       "drwxr-xr-x   2 owner    group        4096 Jan 01 00:00 cgi-bin",
       "srwxrwxrwx   1 owner    group           0 Jan 01 00:00 socket",
       "drwxr-xr-x   2 owner    group        4096 M\u00e4r 01 00:00 backup",
       "prw-r--r--   1 owner    group           0 Jan 01 00:00 pipe"]
LOG_LOCK = threading.Lock()


def log(path, line):
    with LOG_LOCK, open(path, "a", encoding="utf-8", errors="replace") as f:
        f.write(line + "\n")


class LoggingHandler(FTPHandler):
    log_path = None

    def on_connect(self):
        log(self.log_path, 'CONNECT: Client "%s"' % self.remote_ip)

    def handle_auth_failed(self, msg, password):
        # Logged before the refusal goes out, as vsftpd does.
        log(self.log_path, 'FAIL LOGIN: Client "%s"' % self.remote_ip)
        super().handle_auth_failed(msg, password)

    def pre_process_command(self, line, cmd, arg):
        shown = "PASS <password>" if cmd == "PASS" else line
        log(self.log_path, 'FTP command: Client "%s", "%s"' % (self.remote_ip, shown))
        return super().pre_process_command(line, cmd, arg)


class HostileHandler(LoggingHandler):
    def ftp_LIST(self, path):
        if path.rstrip("/").endswith("locked"):
            self.respond("550 Listing refused.")
            return
        if path.rstrip("/").endswith("odd"):
            self.push_dtp_data("".join(n + "\r\n" for n in ODD).encode("utf-8"), isproducer=False, cmd="LIST")
            return path
        lines = "".join("-rw-r--r--   1 owner    group           5 Jan 01 00:00 %s\r\n" % n for n in HOSTILE)
        self.push_dtp_data(lines.encode("utf-8"), isproducer=False, cmd="LIST")
        return path

    def ftp_RETR(self, file):
        self.push_dtp_data(b"pwned", isproducer=False, cmd="RETR")
        return file


class StallHandler(LoggingHandler):
    def ftp_LIST(self, path):
        time.sleep(30)

    def ftp_RETR(self, file):
        time.sleep(30)

    def ftp_CWD(self, path):
        if path.rstrip("/").endswith("stalled"):
            time.sleep(30)
        return super().ftp_CWD(path)


class NoSizeHandler(LoggingHandler):
    proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k != "SIZE"}


def tls_handler(cert):
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler  # needs python3-openssl

    class EarlyTlsDTPHandler(TLS_DTPHandler):
        # libcurl starts the data connection's handshake before it sends the
        # transfer command; pyftpdlib would drop a connection that speaks first.
        def readable(self):
            if getattr(self, "_ssl_accepting", False) and not self._initialized:
                return True
            return super().readable()

    class TlsHandler(LoggingHandler, TLS_FTPHandler):
        certfile = cert
        keyfile = cert
        dtp_handler = EarlyTlsDTPHandler

    return TlsHandler


class FullDTPHandler(DTPHandler):
    def handle_read(self):
        if self.tot_bytes_received > 65536:
            raise _FileReadWriteError(errno.ENOSPC, os.strerror(errno.ENOSPC))
        super().handle_read()

    handle_read_event = handle_read


def die_with_parent(sig):
    ctypes.CDLL(None).prctl(1, sig)  # PR_SET_PDEATHSIG


def serve_silent(log_path):
    listener = socket.create_server(("127.0.0.1", 0))
    print("PORT %d" % listener.getsockname()[1], flush=True)
    held = []
    while True:
        conn, peer = listener.accept()
        held.append(conn)
        log(log_path, 'CONNECT: Client "%s"' % peer[0])


def serve_vsftpd(a):
    exe = shutil.which("vsftpd") or "/usr/sbin/vsftpd"
    if not os.path.exists(exe):
        print("SKIP vsftpd is not installed (Debian package vsftpd)", flush=True)
        return 0
    if os.geteuid() != 0:
        print("SKIP vsftpd needs root to start its anonymous chroot", flush=True)
        return 0
    root = os.path.abspath(a.root)
    work = tempfile.mkdtemp(prefix="qk-vsftpd-")
    os.makedirs(os.path.join(work, "empty"))
    with open(os.path.join(work, "passwords"), "w") as f:
        f.write(a.password + "\n")
    # vsftpd refuses a chroot its users can write to: they are let into the
    # folder above, and write in the root itself.
    os.chmod(os.path.dirname(root), 0o755)
    os.chmod(root, 0o777)
    probe = socket.create_server(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    conf = os.path.join(work, "vsftpd.conf")
    with open(conf, "w") as f:
        f.write("\n".join([
            "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1", "listen_port=%d" % port,
            "background=NO", "anonymous_enable=YES", "local_enable=NO", "write_enable=YES",
            "anon_upload_enable=YES", "anon_mkdir_write_enable=YES", "anon_other_write_enable=YES",
            "anon_world_readable_only=NO", "anon_umask=022", "anon_root=" + os.path.dirname(root),
            "secure_chroot_dir=" + os.path.join(work, "empty"), "secure_email_list_enable=YES",
            "email_password_file=" + os.path.join(work, "passwords"), "seccomp_sandbox=NO", "isolate=NO",
            "isolate_network=NO", "xferlog_enable=YES", "xferlog_std_format=NO", "log_ftp_protocol=YES",
            "vsftpd_log_file=" + a.log, "syslog_enable=NO", "tcp_wrappers=NO", "connect_from_port_20=NO", ""]))

    server = subprocess.Popen([exe, conf], start_new_session=True,
                              preexec_fn=lambda: die_with_parent(signal.SIGKILL), stderr=subprocess.PIPE)

    def stop(*_):
        try:
            os.killpg(server.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        shutil.rmtree(work, ignore_errors=True)
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    deadline = time.time() + 10
    while True:
        if server.poll() is not None:
            print("SKIP vsftpd did not start: %s" % server.stderr.read().decode(errors="replace").strip(),
                  flush=True)
            stop()
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
                s.recv(100)  # the greeting: the probe is logged by now
            break
        except OSError:
            if time.time() > deadline:
                print("SKIP vsftpd did not listen within 10 s", flush=True)
                stop()
            time.sleep(0.05)
    open(a.log, "w").close()  # the probe is not part of the test
    print("PORT %d" % port, flush=True)
    server.wait()
    stop()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--user", default="tester")
    p.add_argument("--password", default="secret")
    p.add_argument("--mode", default="normal")
    p.add_argument("--log", default=os.devnull)
    p.add_argument("--cert")
    a = p.parse_args()
    # A test that dies without stopping its server takes the server along.
    die_with_parent(signal.SIGTERM)
    if a.mode == "vsftpd":
        return serve_vsftpd(a)
    if a.mode == "silent":
        return serve_silent(a.log)

    auth = DummyAuthorizer()
    auth.add_user(a.user, a.password, a.root, perm="elradfmwMT")
    if a.mode == "tls":
        try:
            handler = tls_handler(a.cert)
        except ImportError:
            print("SKIP pyftpdlib's TLS needs python3-openssl", flush=True)
            return 0
    else:
        handler = {"hostile": HostileHandler, "stall": StallHandler, "nosize": NoSizeHandler}.get(
            a.mode, LoggingHandler)
    handler.authorizer = auth
    handler.auth_failed_timeout = 0.2  # pyftpdlib's 3 s would outlast the tests' short limits
    handler.log_path = a.log
    handler.passive_ports = None
    if a.mode == "slow":
        dtp = ThrottledDTPHandler
        dtp.read_limit = 20000
        dtp.write_limit = 20000
        handler.dtp_handler = dtp
    elif a.mode == "full":
        handler.dtp_handler = FullDTPHandler
    server = ThreadedFTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
