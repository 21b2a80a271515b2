#!/usr/bin/env python3
"""A web page that follows Pesora's weight, in headless Chromium, for the end-to-end tests.

  browser.py PESORA_PORT PAGE_PORT OUT SECONDS [zero]

Serves a small page from http://127.0.0.1:PAGE_PORT (its origin is what Pesora allows or not),
opens it in headless Chromium for at most SECONDS (less when a file OUT.stop appears), and writes to OUT, one per line, what the page itself
reports of what it shows: "shown <text>" each time its weight display changes, "error" when its
event stream fails, "zero <status>" or "zero failed" for its attempt to zero the scale.
"""
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Weight</title></head>
<body><h1 id="weight">no weight</h1><p id="zero"></p>
<script>
const pesora = "http://127.0.0.1:%(port)d";
const weight = document.getElementById("weight");
function report(line) { fetch("/report", {method: "POST", body: line}); }
const events = new EventSource(pesora + "/events");
events.onmessage = (e) => {
  weight.textContent = JSON.parse(e.data).text;
  report("shown " + weight.textContent);
};
events.onerror = () => { report("error"); };
if (%(zero)s) {
  fetch(pesora + "/zero", {method: "POST"})
    .then((r) => report("zero " + r.status))
    .catch(() => report("zero failed"));
}
</script></body></html>
"""


def main(argv):
    pesora_port, page_port, out, seconds = int(argv[1]), int(argv[2]), argv[3], float(argv[4])
    zero = len(argv) > 5 and argv[5] == "zero"
    page = (PAGE % {"port": pesora_port, "zero": "true" if zero else "false"}).encode()
    lock = threading.Lock()
    log = open(out, "w", encoding="utf-8")

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0))).decode("utf-8", "replace")
            with lock:
                log.write(body + "\n")
                log.flush()
            self.send_response(204)
            self.end_headers()

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", page_port), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    profile = tempfile.mkdtemp(prefix="pesora-chromium-")
    browser = subprocess.Popen(
        ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--disable-extensions", "--disable-background-networking", "--user-data-dir=" + profile,
         f"http://127.0.0.1:{page_port}/"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=open(out + ".log", "w"))
    deadline = time.time() + seconds
    while time.time() < deadline and not os.path.exists(out + ".stop"):
        time.sleep(0.1)
    browser.terminate()
    try:
        browser.wait(10)
    except subprocess.TimeoutExpired:
        browser.kill()
    server.shutdown()
    with lock:
        log.write("end\n")
        log.close()
    shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv)
