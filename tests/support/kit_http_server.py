#!/usr/bin/env python3
"""A small HTTP server for the kit's download tests, on 127.0.0.1 only.

It serves the files under a root folder and misbehaves on request, so that the
download code can be tried against error statuses, missing lengths, slow links
and connections that close in the middle of a body.

As a module:
    server = KitServer(root_dir, default_rate=None)
    server.start()                  # returns once it listens
    server.url("/en/productcode.txt")
    server.rules["/en/productcode.txt"] = {"status": 404}
    server.requests                 # [(method, path), ...] in arrival order
    server.body_bytes("/en/kit.bin")  # body bytes sent for each request of the file (0 for HEAD)
    server.wait_idle()              # returns once no request is being answered
    server.stop()

Misbehaviours (a rule for a path, or the same names in the query string of a
request, e.g. /f.bin?drop_after=1000&nonce=17; rules win over the query):
    status=404|500     answer with that status and a small error page
    no_length=1        no Content-Length; the body ends when the connection closes
    rate=N             send the body at N bytes per second
    drop_after=N       announce the full Content-Length, send N bytes, then close
    delay=S            wait S seconds (float) before answering
    max_age=N          a file is sent with "Cache-Control: max-age=N", a
                       Last-Modified and an ETag, and a conditional request
                       (If-None-Match / If-Modified-Since) that still matches
                       the file is answered 304 without a body
    chunked=1          the body goes chunked, without Content-Length (a HEAD
                       answer still has it); with drop_after=N the connection
                       closes after N body bytes, before the closing chunk
    bad_chunk=1        chunked, and the second chunk's size line is garbage;
                       the connection closes after it
    redirect=URL       answer 302 with Location URL (URL-encoded in a query)
    redirect_loop=1    answer 302 with Location the request's own URL
    drip_headers=S     send the status line and headers one byte every S
                       seconds (float)
    header_flood=N     N extra header lines before the real ones end

Control endpoints (never recorded as requests):
    GET /__requests?path=/x[&method=GET]   decimal count of requests seen for /x
    GET /__rule?path=/x&status=404...      replaces the rule for /x (no
                                           misbehaviour named: removes it)
    GET /__agents?path=/x                  the User-Agent of each request for /x,
                                           one a line
    GET /__sent?path=/x                    the body bytes sent for each request
                                           for /x, one a line (counted once the
                                           answer has ended)

Error answers (a status rule, or a missing file) carry a small page whose first
word is "Error-<status>".

As a program:
    kit_http_server.py --root DIR [--rate BYTES_PER_S] [--port-file F] [--log F]
runs until killed (SIGTERM or SIGINT) and writes its port to F once it listens.
"""

import argparse
import contextlib
import email.utils
import http.server
import os
import signal
import socket
import sys
import threading
import time
import urllib.parse

CHUNK = 64 * 1024
_RULE_KEYS = ("status", "no_length", "rate", "drop_after", "delay", "max_age", "chunked", "bad_chunk",
              "redirect", "redirect_loop", "drip_headers", "header_flood")
_FLAG_KEYS = ("no_length", "chunked", "bad_chunk", "redirect_loop")


def _error_page(status):
    # Its first word is a plain word on purpose: a client that ignores the
    # status would read it as a product code or a digest.
    return ("Error-%d <html><body>HTTP status %d</body></html>\n" % (status, status)).encode("ascii")


def _parse_rule(query):
    """Misbehaviours named in a parsed query string (dict of lists)."""
    rule = {}
    for key in _RULE_KEYS:
        if key not in query:
            continue
        value = query[key][-1]
        try:
            if key in ("delay", "drip_headers"):
                rule[key] = float(value)
            elif key == "redirect":
                rule[key] = value
            elif key in _FLAG_KEYS:
                rule[key] = value not in ("", "0", "false", "False")
            else:
                rule[key] = int(value)
        except ValueError:
            pass
    return rule


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KitTestServer/1.0"

    # The owning KitServer, set on the server object.
    @property
    def kit(self):
        return self.server.kit

    def log_message(self, fmt, *args):
        self.kit._log("%s %s" % (self.address_string(), fmt % args))

    def do_GET(self):
        with self.kit._answering():
            self._answer(head=False)

    def do_HEAD(self):
        with self.kit._answering():
            self._answer(head=True)

    def _answer(self, head):
        parsed = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(parsed.path)
        query = urllib.parse.parse_qs(parsed.query, keep_blank_values=True)
        if path == "/__requests":
            self._control_requests(query, head)
            return
        if path == "/__rule":
            self._control_rule(query, head)
            return
        if path == "/__agents":
            self._send_text("".join(a + "\n" for a in self.kit.agents(query.get("path", [""])[-1])), head)
            return
        if path == "/__sent":
            self._send_text("".join("%d\n" % n for n in self.kit.body_bytes(query.get("path", [""])[-1])), head)
            return
        self._request_index = self.kit._record(self.command, path, self.headers.get("User-Agent", ""))

        rule = _parse_rule(query)
        rule.update(self.kit.rules.get(path, {}))
        if rule.get("delay"):
            time.sleep(rule["delay"])

        if rule.get("redirect") or rule.get("redirect_loop"):
            target = rule.get("redirect") or self.path
            self._send(302, b"", rule, head, extra_headers={"Location": target})
            return
        status = rule.get("status")
        if status:
            self._send(status, _error_page(status), rule, head)
            return
        local = self.kit._local_path(path)
        if local is None or not os.path.isfile(local):
            self._send(404, _error_page(404), {}, head)
            return
        with open(local, "rb") as f:
            stat = os.fstat(f.fileno())
            validators = self._validators(stat, rule)
            if validators and self._still_fresh(validators):
                self._send(304, b"", rule, True, 0, validators)
                return
            self._send(200, f, rule, head, stat.st_size, validators)

    def _validators(self, stat, rule):
        """Caching headers for a file served under a max_age rule, else None."""
        if "max_age" not in rule:
            return None
        return {"Cache-Control": "max-age=%d" % rule["max_age"],
                "Last-Modified": email.utils.formatdate(int(stat.st_mtime), usegmt=True),
                "ETag": '"%x-%x"' % (stat.st_mtime_ns, stat.st_size)}

    def _still_fresh(self, validators):
        tag = self.headers.get("If-None-Match")
        if tag is not None:
            return validators["ETag"] in [t.strip() for t in tag.split(",")]
        since = self.headers.get("If-Modified-Since")
        return since is not None and since == validators["Last-Modified"]

    def _send(self, status, body, rule, head, size=None, extra_headers=None):
        """Sends the headers and (unless head) the body: bytes or an open file."""
        if size is None:
            size = len(body)
        # A HEAD answer still announces the length, as a file server's does
        # while its GET answers come chunked.
        chunked = (rule.get("chunked", False) or rule.get("bad_chunk", False)) and not head
        no_length = rule.get("no_length", False) or chunked
        drop_after = rule.get("drop_after")
        rate = rule.get("rate") or self.kit.default_rate
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        for i in range(rule.get("header_flood") or 0):
            self.send_header("X-Flood-%d" % i, "x" * 40)
        for name, value in (extra_headers or {}).items():
            self.send_header(name, value)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif not no_length and status != 304:
            self.send_header("Content-Length", str(size))
        if (no_length and not chunked) or drop_after is not None or (chunked and rule.get("bad_chunk")):
            self.send_header("Connection", "close")
            self.close_connection = True
        if not self._end_headers(rule.get("drip_headers")):
            return
        if head:
            self.kit._record_sent(getattr(self, "_request_index", None), 0)
            return
        limit = size if drop_after is None else min(size, max(0, drop_after))
        sent = 0
        start = time.monotonic()
        chunk = CHUNK if not rate else max(1, min(CHUNK, rate // 20))
        try:
            while sent < limit:
                n = min(chunk, limit - sent)
                data = body.read(n) if hasattr(body, "read") else body[sent:sent + n]
                if not data:
                    break
                if chunked and rule.get("bad_chunk") and sent > 0:
                    # Garbage where the second chunk's size belongs, then the end.
                    self.wfile.write(b"zz; not a size\r\n" + data + b"\r\n")
                    break
                if chunked:
                    self.wfile.write(b"%x\r\n" % len(data) + data + b"\r\n")
                else:
                    self.wfile.write(data)
                sent += len(data)
                if rate:
                    ahead = sent / float(rate) - (time.monotonic() - start)
                    if ahead > 0:
                        time.sleep(ahead)
            if chunked and sent >= size:
                self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()
            if drop_after is not None and limit < size:
                self.connection.shutdown(socket.SHUT_RDWR)
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError, OSError):
            self.close_connection = True
        finally:
            self.kit._record_sent(getattr(self, "_request_index", None), sent)

    def _end_headers(self, drip):
        """Ends the headers; with drip, sends them one byte every `drip`
        seconds. False when the client went away meanwhile."""
        if not drip:
            self.end_headers()
            return True
        self._headers_buffer.append(b"\r\n")
        data = b"".join(self._headers_buffer)
        self._headers_buffer = []
        self.close_connection = True
        try:
            for i in range(len(data)):
                self.wfile.write(data[i:i + 1])
                self.wfile.flush()
                time.sleep(drip)
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError, OSError):
            return False
        return True

    def _send_text(self, text, head):
        body = text.encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def _control_requests(self, query, head):
        path = query.get("path", [""])[-1]
        method = query.get("method", [None])[-1]
        self._send_text("%d" % self.kit.request_count(path, method), head)

    def _control_rule(self, query, head):
        path = query.get("path", [""])[-1]
        rule = _parse_rule(query)
        with self.kit._lock:
            if rule:
                self.kit.rules[path] = rule
            else:
                self.kit.rules.pop(path, None)
        self._send_text("ok", head)


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False


class KitServer(object):
    """Serves root_dir on 127.0.0.1 at an ephemeral port."""

    def __init__(self, root_dir, default_rate=None, log_path=None):
        self.root = os.path.realpath(root_dir)
        self.default_rate = default_rate
        self.rules = {}
        self._requests = []
        self._seen = []
        self._sent = []
        self._lock = threading.Lock()
        self._idle = threading.Condition(self._lock)
        self._in_flight = 0
        self._log_file = open(log_path, "a") if log_path else None
        self._httpd = None
        self._thread = None
        self.port = None

    def start(self):
        self._httpd = _Server(("127.0.0.1", 0), _Handler)
        self._httpd.kit = self
        self.port = self._httpd.server_address[1]
        self._thread = threading.Thread(target=self._httpd.serve_forever, name="kit-http", daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self._httpd is not None:
            self._httpd.shutdown()
            self._httpd.server_close()
            self._thread.join()
            self._httpd = None
        if self._log_file is not None:
            self._log_file.close()
            self._log_file = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def url(self, path):
        if not path.startswith("/"):
            path = "/" + path
        return "http://127.0.0.1:%d%s" % (self.port, path)

    @property
    def requests(self):
        with self._lock:
            return list(self._requests)

    def request_count(self, path, method=None):
        with self._lock:
            return sum(1 for m, p in self._requests if p == path and (method is None or m == method))

    def agents(self, path):
        """The User-Agent of each request for path, in arrival order."""
        with self._lock:
            return [a for m, p, a in self._seen if p == path]

    def wait_idle(self, timeout=60):
        """Waits until no request is being answered (a client that has gone away
        ends its answer at the next write); False if that took over `timeout`."""
        with self._idle:
            return self._idle.wait_for(lambda: self._in_flight == 0, timeout)

    @contextlib.contextmanager
    def _answering(self):
        with self._idle:
            self._in_flight += 1
        try:
            yield
        finally:
            with self._idle:
                self._in_flight -= 1
                self._idle.notify_all()

    def body_bytes(self, path):
        """Body bytes sent for each answered request for path, in arrival order."""
        with self._lock:
            return [n for (m, p), n in zip(self._requests, self._sent) if p == path and n is not None]

    def _record(self, method, path, agent=""):
        """Records a request; returns its index for _record_sent."""
        with self._lock:
            self._requests.append((method, path))
            self._seen.append((method, path, agent))
            self._sent.append(None)
            return len(self._requests) - 1

    def _record_sent(self, index, sent):
        if index is None:
            return
        with self._lock:
            self._sent[index] = sent

    def _log(self, line):
        if self._log_file is not None:
            with self._lock:
                self._log_file.write(line + "\n")
                self._log_file.flush()

    def _local_path(self, url_path):
        """The file under root for a URL path, or None when it would leave root."""
        candidate = os.path.realpath(os.path.join(self.root, url_path.lstrip("/")))
        if candidate != self.root and not candidate.startswith(self.root + os.sep):
            return None
        return candidate


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--rate", type=int, default=None, help="default bytes per second")
    parser.add_argument("--port-file")
    parser.add_argument("--log")
    args = parser.parse_args(argv)

    server = KitServer(args.root, default_rate=args.rate, log_path=args.log)
    server.start()
    stopped = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stopped.set())
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % server.port)
        os.replace(tmp, args.port_file)
    try:
        while not stopped.wait(0.5):
            pass
    finally:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
