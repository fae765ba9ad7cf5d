// The page's half of the bridge: request numbers, the payload default, the host's shim
// looked for on every call, and the fetch fallback with the real native path behind it.
import assert from "node:assert/strict";
import { after, afterEach, before, beforeEach, test } from "node:test";
import { eventually, startHarness } from "./harness.mjs";

let h;
let page;
before(async () => { h = await startHarness(); });
after(async () => { await h?.close(); });
beforeEach(async () => {
  h.reset();
  page = await h.open();
});
afterEach(async () => { await page.context().close(); });

const byId = (texts) => [...texts].sort((a, b) => JSON.parse(a).id - JSON.parse(b).id);

test("requests are numbered from 1; an omitted payload becomes {}, an explicit null stays null", async () => {
  const result = await page.evaluate(async () => {
    const first = callBackend("open_url");
    const second = callBackend("Open_url", null);
    const replies = await Promise.all([first, second]);
    return { replies, pending: pendingIpc.size, next: ipcSeq };
  });
  assert.deepEqual(result, { replies: [{ ok: true }, { error: "Unknown action" }], pending: 0, next: 3 });
  assert.deepEqual(byId(h.ipc.requests), [
    '{"id":1,"action":"open_url","payload":{}}',
    '{"id":2,"action":"Open_url","payload":null}',
  ]);
});

test("replies that come back in reverse order each resolve their own request", async () => {
  const release = h.lead.hold();
  await page.evaluate(() => {
    window.__order = [];
    callBackend("submit_lead", { phone: "0912345678" }).then((r) => window.__order.push(["lead", r]));
    callBackend("nope").then((r) => window.__order.push(["nope", r]));
  });
  await page.waitForFunction(() => window.__order.length === 1);
  await eventually(() => h.lead.requests.length === 1);
  release();
  await page.waitForFunction(() => window.__order.length === 2);
  assert.deepEqual(await page.evaluate(() => [window.__order, pendingIpc.size]), [[
    ["nope", { error: "Unknown action" }],
    ["lead", { displayContact: "0912345678", error: null, ok: true }],
  ], 0]);
});

test("the fallback resolves with any JSON body, an HTTP error's too, and rejects and forgets everything else", async () => {
  const cases = [
    // what /api/ipc answers, how the promise ends
    [{ status: 500, body: '{"error":"máy chủ lỗi"}' }, { resolved: { error: "máy chủ lỗi" } }],
    [{ status: 404, body: "[1,2]" }, { resolved: [1, 2] }],
    [{ status: 200, body: "not json", type: "text/plain" }, { rejected: "SyntaxError" }],
    [{ status: 200, body: "" }, { rejected: "SyntaxError" }],
  ];
  for (const [answer, outcome] of cases) {
    h.ipc.overrides.push(answer);
    const got = await page.evaluate(async () => {
      const id = ipcSeq;
      try {
        const value = await callBackend("open_url", { url: "tel:" });
        return { resolved: value, kept: pendingIpc.has(id) };
      } catch (error) {
        return { rejected: error.name, kept: pendingIpc.has(id) };
      }
    });
    assert.deepEqual(got, { ...outcome, kept: false }, JSON.stringify(answer));
  }
});

test("a message the native side refuses gets no reply, which the fallback turns into a rejection", async () => {
  // 127 nested arrays in the payload open the message's 128th level.
  const got = await page.evaluate(async () => {
    let deep = [];
    for (let i = 1; i < 127; i++) deep = [deep];
    const refused = await callBackend("open_url", deep).then(() => "resolved", (e) => e.name);
    const accepted = await callBackend("open_url", deep[0]).then((r) => r, (e) => e.name);
    return { refused, accepted, pending: pendingIpc.size };
  });
  assert.deepEqual(got, { refused: "SyntaxError", accepted: { ok: true }, pending: 0 });
});

test("the host's shim is looked for on every call; through it a reply settles only by its callback", async () => {
  const got = await page.evaluate(async () => {
    const posted = [];
    window.ipc = { postMessage: (text) => posted.push(text) };
    let settled = "pending";
    const request = callBackend("open_url", { url: "https://zalo.me/0901234567" });
    request.then((r) => { settled = r; });
    const id = JSON.parse(posted[0]).id;
    await null;
    const before = settled;
    window.__ovCallback(id + 100, { ok: false });
    window.__ovCallback(id, { ok: true });
    await request;
    window.__ovCallback(id, { ok: false });
    await null;

    // A payload JSON cannot write: rejected; through the shim its entry stays.
    const badId = ipcSeq;
    const bad = await callBackend("open_url", { n: 1n }).then(() => "resolved", (e) => e.name);
    const badKept = pendingIpc.has(badId);

    delete window.ipc;
    const viaFetch = await callBackend("nope");
    // On the fallback every failure forgets the request.
    const lostId = ipcSeq;
    const lost = await callBackend("open_url", { n: 1n }).then(() => "resolved", (e) => e.name);
    return { posted, before, settled, bad, badKept, viaFetch, lost, lostKept: pendingIpc.has(lostId) };
  });
  assert.deepEqual(got, {
    posted: ['{"id":1,"action":"open_url","payload":{"url":"https://zalo.me/0901234567"}}'],
    before: "pending",
    settled: { ok: true },
    bad: "TypeError",
    badKept: true,
    viaFetch: { error: "Unknown action" },
    lost: "TypeError",
    lostKept: false,
  });
  assert.deepEqual(h.ipc.requests, ['{"id":3,"action":"nope","payload":{}}']);
});
