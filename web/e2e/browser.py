#!/usr/bin/env python3
"""A real browser for the web endpoint's e2e test: headless Chromium opens a page from PAGE_PORT
that follows Pesora's weight and zeroes the scale, framing the same page from FOREIGN_PORT (another
origin). Each page writes to OUT "<page> shown <text>", "<page> error" (stream failed), "<page> zero
<status>" or "<page> zero failed"; "end" once OUT.stop appears (at the latest after 90 s).
  browser.py PESORA_PORT PAGE_PORT FOREIGN_PORT OUT
"""
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time

PAGE = """<!DOCTYPE html><meta charset="utf-8"><h1 id="weight">no weight</h1>%(frame)s
<script>
const pesora = "http://127.0.0.1:%(port)s", weight = document.getElementById("weight");
const report = (line) => fetch("/report", {method: "POST", body: "%(name)s " + line});
const events = new EventSource(pesora + "/events");
events.onmessage = (e) => { weight.textContent = JSON.parse(e.data).text; report("shown " + weight.textContent); };
events.onerror = () => report("error");
fetch(pesora + "/zero", {method: "POST"}).then((r) => report("zero " + r.status), () => report("zero failed"));
</script>"""


def main(pesora_port, page_port, foreign_port, out):
    log, lock = open(out, "w", encoding="utf-8"), threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):  # the allowed page frames the foreign one
            port = self.server.server_port
            name, frame = ("allowed", f'<iframe src="http://127.0.0.1:{foreign_port}/"></iframe>') \
                if port == int(page_port) else ("foreign", "")
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.end_headers()
            self.wfile.write((PAGE % {"port": pesora_port, "name": name, "frame": frame}).encode())

        def do_POST(self):
            line = self.rfile.read(int(self.headers["Content-Length"])).decode("utf-8", "replace")
            with lock:
                log.write(line + "\n")
                log.flush()
            self.send_response(204)
            self.end_headers()

        def log_message(self, *args):
            pass

    for port in (page_port, foreign_port):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", int(port)), Handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
    with tempfile.TemporaryDirectory(prefix="pesora-chromium-", ignore_cleanup_errors=True) as profile:
        browser = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-extensions",
             "--disable-background-networking", "--user-data-dir=" + profile, f"http://127.0.0.1:{page_port}/"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=open(out + ".log", "w"))
        deadline = time.time() + 90
        while time.time() < deadline and not os.path.exists(out + ".stop"):
            time.sleep(0.1)
        browser.terminate()
        try:
            browser.wait(10)
        except subprocess.TimeoutExpired:
            browser.kill()
    with lock:
        log.write("end\n")
        log.close()


if __name__ == "__main__":
    main(*sys.argv[1:5])
