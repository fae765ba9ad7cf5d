// What every page test stands on: the assembled page served on loopback, its /api/ipc
// answered by the real native path (ipc-replay), a TLS stand-in for the vendor's web
// service that ipc-replay is aimed at, a recording xdg-open, and Debian's Chromium.
import { execFileSync, spawn } from "node:child_process";
import { mkdtempSync, mkdirSync, readFileSync, rmSync, writeFileSync, existsSync } from "node:fs";
import { createServer } from "node:http";
import { createServer as createTlsServer } from "node:https";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

export const SOURCE_DIR = join(dirname(fileURLToPath(import.meta.url)), "..", "..");
export const OUTPUT_DIR = process.env.OV_PAGE_OUTPUT || join(SOURCE_DIR, "tests", "page", "test-results");

const CHROMIUM = "/usr/bin/chromium";
const CHROMIUM_ARGS = [
  "--no-sandbox",
  "--disable-gpu",
  "--no-first-run",
  "--disable-background-networking",
  "--disable-component-update",
  "--disable-sync",
];

function requiredTool(variable) {
  const path = process.env[variable];
  if (!path || !existsSync(path)) throw new Error(`${variable} must name a built tool (got ${path})`);
  return path;
}

// A throw-away CA and a certificate for the vendor's service host, signed by it.
function makeCertificates(dir, serviceHost) {
  const openssl = (...args) => execFileSync("openssl", args, { cwd: dir, stdio: "pipe" });
  const ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"];
  openssl("req", "-x509", ...ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
    "-subj", "/CN=Orvanta page-test CA",
    "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign");
  openssl("req", ...ec, "-keyout", "server.key", "-out", "server.csr", "-subj", `/CN=${serviceHost}`);
  writeFileSync(join(dir, "server.ext"),
    `subjectAltName=DNS:${serviceHost}\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n`);
  openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
    "-out", "server.pem", "-days", "2", "-extfile", "server.ext");
  return {
    ca: join(dir, "ca.pem"),
    key: readFileSync(join(dir, "server.key")),
    cert: readFileSync(join(dir, "server.pem")),
  };
}

function listen(server) {
  return new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen(0, "127.0.0.1", () => resolve(server.address().port));
  });
}

function readBody(req) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    req.on("data", (c) => chunks.push(c));
    req.on("end", () => resolve(Buffer.concat(chunks).toString("utf8")));
    req.on("error", reject);
  });
}

// The vendor's web service as the tests want it: each test sets the answer and may hold
// replies back until it releases them.
class LeadService {
  constructor() {
    this.requests = [];
    this.reset();
  }

  reset() {
    this.status = 200;
    this.body = '{"ok":true}';
    this.gate = null;
    this.requests.length = 0;
  }

  answer(status, body) {
    this.status = status;
    this.body = body;
  }

  // Replies wait until the returned function is called.
  hold() {
    let release;
    this.gate = new Promise((r) => { release = r; });
    return () => { this.gate = null; release(); };
  }

  async handle(req, res) {
    const body = await readBody(req);
    this.requests.push({ method: req.method, url: req.url, headers: req.headers, body });
    if (this.gate) await this.gate;
    res.writeHead(this.status, { "Content-Type": "application/json" });
    res.end(this.body);
  }
}

// Runs one message text through ipc-replay, exactly the worker's path; resolves with
// the callback script, or "" where the worker would post nothing.
function replay(tool, args, env, text) {
  return new Promise((resolve, reject) => {
    const child = spawn(tool, args, { env, stdio: ["pipe", "pipe", "pipe"] });
    let out = "";
    let err = "";
    child.stdout.on("data", (c) => { out += c; });
    child.stderr.on("data", (c) => { err += c; });
    child.on("error", reject);
    child.on("close", (code) => {
      if (code !== 0) reject(new Error(`ipc-replay exited ${code}: ${err}`));
      else resolve(out.split("\n")[0]);
    });
    child.stdin.end(JSON.stringify(text) + "\n");
  });
}

const CALLBACK = /^window\.__ovCallback\((\d+), (.*)\);$/s;

export async function startHarness() {
  const printPage = requiredTool("OV_PRINT_PAGE");
  const ipcReplay = requiredTool("OV_IPC_REPLAY");
  const dir = mkdtempSync(join(tmpdir(), "ov-page-"));
  // Undone last first by close(), or at once when start-up fails half-way, so that no
  // server or browser outlives the test file.
  const cleanups = [() => rmSync(dir, { recursive: true, force: true })];
  const cleanUp = async () => {
    while (cleanups.length) await cleanups.pop()();
  };
  try {
    const certs = makeCertificates(dir, "api.orvanta.vn");
    const lead = new LeadService();
    const tls = createTlsServer({ key: certs.key, cert: certs.cert }, (req, res) => {
      lead.handle(req, res).catch(() => res.destroy());
    });
    cleanups.push(() => closeServer(tls));
    const tlsPort = await listen(tls);

    // Links that open_url starts land here instead of on the desktop, one line each:
    // the count of arguments, a colon, the arguments.
    const bin = join(dir, "bin");
    const openedFile = join(dir, "opened.txt");
    mkdirSync(bin);
    writeFileSync(join(bin, "xdg-open"), `#!/bin/sh\nprintf '%s\\n' "$#:$*" >> '${openedFile}'\n`, { mode: 0o755 });
    const replayEnv = { ...process.env, PATH: `${bin}:${process.env.PATH}` };
    const replayArgs = ["--connect-to", `127.0.0.1:${tlsPort}`, "--roots", certs.ca,
      "--connect-timeout-ms", "5000", "--exchange-timeout-ms", "20000"];

    const pageHtml = execFileSync(printPage);
    // /api/ipc: every request text as received, and answers a test may put in the native
    // path's place to see how the page's fallback treats them.
    const ipc = { requests: [], overrides: [] };
    const http = createServer(async (req, res) => {
      try {
        if (req.method === "GET" && req.url === "/") {
          res.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
          res.end(pageHtml);
          return;
        }
        if (req.method === "POST" && req.url === "/api/ipc") {
          const text = await readBody(req);
          ipc.requests.push(text);
          const override = ipc.overrides.shift();
          if (override) {
            res.writeHead(override.status, { "Content-Type": override.type || "application/json" });
            res.end(override.body);
            return;
          }
          const script = await replay(ipcReplay, replayArgs, replayEnv, text);
          if (script === "") {
            // No reply from the native side: an empty answer, which the page cannot read as JSON.
            res.writeHead(204);
            res.end();
            return;
          }
          const match = CALLBACK.exec(script);
          if (!match) throw new Error(`not a callback script: ${script}`);
          res.writeHead(200, { "Content-Type": "application/json" });
          res.end(match[2]);
          return;
        }
        res.writeHead(404);
        res.end();
      } catch (error) {
        res.writeHead(500, { "Content-Type": "text/plain" });
        res.end(String(error));
      }
    });
    cleanups.push(() => closeServer(http));
    const httpPort = await listen(http);
    const baseUrl = `http://127.0.0.1:${httpPort}/`;

    // Playwright gives the browser a fresh user-data folder of its own and removes it after.
    const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: CHROMIUM_ARGS });
    cleanups.push(() => browser.close());

    return {
      baseUrl,
      browser,
      lead,
      ipc,
      pageHtml: pageHtml.toString("utf8"),

      // A fresh context and page on the served document; `clock` installs fake timers first.
      async open({ width = 820, height = 620, clock = false, javaScriptEnabled = true } = {}) {
        const context = await browser.newContext({ viewport: { width, height }, javaScriptEnabled });
        if (clock) await context.clock.install();
        const page = await context.newPage();
        await page.goto(baseUrl);
        return page;
      },

      opened() {
        return existsSync(openedFile) ? readFileSync(openedFile, "utf8").split("\n").filter(Boolean) : [];
      },

      reset() {
        lead.reset();
        ipc.requests.length = 0;
        ipc.overrides.length = 0;
        rmSync(openedFile, { force: true });
      },

      close: cleanUp,
    };
  } catch (error) {
    await cleanUp();
    throw error;
  }
}

function closeServer(server) {
  server.closeAllConnections();
  return new Promise((resolve) => server.close(resolve));
}

export function screenshotPath(name) {
  const dir = join(OUTPUT_DIR, "screenshots");
  mkdirSync(dir, { recursive: true });
  return join(dir, name);
}

// Polls `probe` until it returns something truthy; for effects outside the page.
export async function eventually(probe, { timeout = 5000, interval = 25 } = {}) {
  const end = Date.now() + timeout;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > end) throw new Error("condition not met in time");
    await new Promise((r) => setTimeout(r, interval));
  }
}
