// The consultation dialog with real clicks and typing; each lead goes through the page's
// fallback to ipc-replay, the native submit_lead, and the local TLS stand-in of the vendor.
import assert from "node:assert/strict";
import { after, afterEach, before, beforeEach, test } from "node:test";
import { eventually, screenshotPath, startHarness } from "./harness.mjs";

const SUBMIT = "Nhận tư vấn ngay";
const SENDING = "⏳ Đang gửi yêu cầu...";
const FAILED = "Không gửi được yêu cầu. Vui lòng nhắn trực tiếp Zalo 0901 234 567.";
const PAGE_INVALID = "Vui lòng nhập số điện thoại Zalo hợp lệ (10 số).";
const NATIVE_INVALID = "Vui lòng nhập đúng số điện thoại Zalo hợp lệ (10 số).";
const DEFAULT_PRODUCT = "Windows / Office bản quyền";
const FOOTER_PRODUCT = "Tư vấn bản quyền Windows / Office";

let h;
let page;
before(async () => { h = await startHarness(); });
after(async () => { await h?.close(); });
beforeEach(() => h.reset());
afterEach(async () => { await page?.context().close(); page = null; });

const $ = (selector) => page.locator(selector);

async function openFromFooter() {
  await page.getByRole("button", { name: "💬 Zalo: 0901 234 567" }).click();
}

// What the dialog shows, as the user would read it.
function dialogState() {
  return page.evaluate(() => {
    const el = (id) => document.getElementById(id);
    const shown = (id) => el(id).checkVisibility();
    const button = el("phoneSubmitBtn");
    return {
      open: shown("consultModal"),
      form: !el("consultFormView").hidden,
      success: !el("consultSuccessView").hidden,
      error: shown("phoneError") ? el("phoneError").textContent : null,
      button: [button.textContent, button.disabled],
    };
  });
}

async function settled() {
  await page.waitForFunction((label) => {
    const b = document.getElementById("phoneSubmitBtn");
    return !b.disabled && b.textContent === label;
  }, SUBMIT);
}

async function send(text, { enter = false } = {}) {
  await $("#phoneInput").fill("");
  await $("#phoneInput").pressSequentially(text);
  if (enter) await $("#phoneInput").press("Enter");
  else await $("#phoneSubmitBtn").click();
}

const leadBodies = () => h.lead.requests.map((r) => JSON.parse(r.body));

test("opening shows the form for a card's, the footer's, an empty and a markup product name", async () => {
  page = await h.open();
  const markup = '<img src=x onerror="window.__ran=1"><b>đậm</b> & <i>x</i>';
  const cases = [
    ["card", () => page.locator(".product-card").nth(0).getByRole("button", { name: "Mua / Tư vấn" }).click(),
      "Windows 11 Pro Online Download (FQC-10572)"],
    ["footer", openFromFooter, FOOTER_PRODUCT],
    ["empty name", () => page.evaluate(() => openConsultModal("")), DEFAULT_PRODUCT],
    ["no name", () => page.evaluate(() => openConsultModal()), DEFAULT_PRODUCT],
    ["markup", () => page.evaluate((name) => openConsultModal(name), markup), markup],
  ];
  for (const [how, open, product] of cases) {
    await open();
    assert.deepEqual(await dialogState(),
      { open: true, form: true, success: false, error: null, button: [SUBMIT, false] }, how);
    assert.equal(await $("#modalProductName").textContent(), product, how);
    assert.equal(await $("#modalProductName").evaluate((s) => s.children.length), 0, how);
    assert.equal(await page.evaluate(() => state.selectedProduct), product, how);
    await page.getByRole("button", { name: "Đóng" }).first().click();
    assert.equal((await dialogState()).open, false, how);
  }
  assert.equal(await page.evaluate(() => window.__ran), undefined, "no markup ran");

  await openFromFooter();
  await $("#phoneInput").pressSequentially("0912345678");
  await page.screenshot({ path: screenshotPath("dialog-form.png") });
});

test("the phone input takes the focus 40 ms after opening", async () => {
  page = await h.open();
  const focus = await page.evaluate(async () => {
    const later = (ms) => new Promise((r) => setTimeout(() => r(document.activeElement.id), ms));
    openConsultModal("x");
    const now = document.activeElement.id;
    return [now, await later(20), await later(40)]; // at once, at about 20 ms and at about 60 ms
  });
  assert.deepEqual(focus, ["", "", "phoneInput"]);
});

test("clicks inside the box, on its padding too, leave it open; the backdrop closes it; no key does", async () => {
  page = await h.open();
  await openFromFooter();
  const box = await $(".modal-dialog").boundingBox();
  await $(".modal-dialog").click({ position: { x: box.width / 2, y: 6 } });
  await $(".modal-dialog").click({ position: { x: box.width / 2, y: box.height - 6 } });
  await $("#modalProductBox").click();
  await page.keyboard.press("Escape");
  assert.equal((await dialogState()).open, true);
  await page.mouse.click(5, 5);
  assert.equal((await dialogState()).open, false);
  await openFromFooter();
  await $("button.modal-close").click();
  assert.equal((await dialogState()).open, false);
});

test("an empty number is blocked by the browser's validation and sends nothing", async () => {
  page = await h.open();
  await openFromFooter();
  await $("#phoneSubmitBtn").click();
  await $("#phoneInput").press("Enter");
  assert.ok(await $("#phoneInput").evaluate((i) => i.matches(":invalid") && i.validationMessage !== ""));
  await page.waitForTimeout(200);
  assert.deepEqual(h.ipc.requests, []);
  assert.deepEqual(await dialogState(), { open: true, form: true, success: false, error: null, button: [SUBMIT, false] });
});

test("white space only is sent as an empty phone and answered with the native invalid-phone text", async () => {
  page = await h.open();
  await openFromFooter();
  await send("   ", { enter: true });
  await settled();
  assert.deepEqual(await dialogState(),
    { open: true, form: true, success: false, error: NATIVE_INVALID, button: [SUBMIT, false] });
  assert.equal(JSON.parse(h.ipc.requests[0]).payload.phone, "");
  assert.equal(h.lead.requests.length, 0, "nothing reached the service");
  assert.equal(await $("#phoneInput").inputValue(), "   ");
});

test("a success shows the service's contact, or the trimmed number when it gives an empty one", async () => {
  const cases = [
    ['{"ok":true,"displayContact":"Zalo Orvanta <0901 234 567>"}', "Zalo Orvanta <0901 234 567>"],
    ['{"ok":true,"displayContact":""}', "0912 345 678"],
  ];
  for (const [answer, contact] of cases) {
    page = await h.open();
    h.reset();
    h.lead.answer(200, answer);
    await page.evaluate(() => openConsultModal(""));
    await send(" 0912 345 678 ");
    await settled();
    assert.deepEqual(await dialogState(), { open: true, form: false, success: true, error: null, button: [SUBMIT, false] });
    assert.equal(await $("#successPhoneMsg").textContent(),
      `Chuyên viên Orvanta sẽ liên hệ Zalo (${contact}) trong vòng 3 phút.`);
    assert.equal(await $("#successPhoneMsg").evaluate((p) => p.children.length), 0);

    const [lead] = leadBodies();
    assert.equal(lead.contact, "0912 345 678");
    assert.equal(lead.productInterest, DEFAULT_PRODUCT);
    if (contact !== "0912 345 678") {
      await page.screenshot({ path: screenshotPath("dialog-success.png") });
      await page.getByRole("button", { name: "Đóng", exact: true }).last().click();
      assert.equal((await dialogState()).open, false);
    }
    await page.context().close();
  }
  page = null;
});

test("after a success, reopening shows the form with the number and the box as the user left them", async () => {
  page = await h.open();
  await openFromFooter();
  await $("#attachScanChk").uncheck();
  await send("0912345678", { enter: true });
  await settled();
  assert.equal((await dialogState()).success, true);
  const [lead] = leadBodies();
  assert.equal(lead.note, "", "an unticked box sends no note");
  assert.equal(lead.productInterest, FOOTER_PRODUCT);

  await page.mouse.click(5, 5);
  await page.locator(".product-card").nth(4).getByRole("button", { name: "Mua / Tư vấn" }).click();
  assert.deepEqual(await dialogState(), { open: true, form: true, success: false, error: null, button: [SUBMIT, false] });
  assert.equal(await $("#phoneInput").inputValue(), "0912345678");
  assert.equal(await $("#attachScanChk").isChecked(), false);
  // The box's label toggles it from anywhere on its row.
  await $("label.check-row span").click();
  assert.equal(await $("#attachScanChk").isChecked(), true);
});

test("failures keep the form: the service's text literally, the page's own for an empty or no text, the failure text when the request fails", async () => {
  const markup = "<b>Số</b> &amp; <i>không hợp lệ</i>";
  const cases = [
    ["service error with markup", () => h.lead.answer(422, JSON.stringify({ error: markup })), markup],
    ["empty service error", () => h.lead.answer(422, '{"error":""}'), PAGE_INVALID],
    ["null reply", () => h.ipc.overrides.push({ status: 200, body: "null" }), PAGE_INVALID],
    ["rejected request", () => h.ipc.overrides.push({ status: 200, body: "<html>", type: "text/html" }), FAILED],
  ];
  page = await h.open();
  await openFromFooter();
  await $("#attachScanChk").uncheck();
  for (const [name, arrange, text] of cases) {
    h.reset();
    arrange();
    await send("0912 345 678");
    await settled();
    assert.deepEqual(await dialogState(),
      { open: true, form: true, success: false, error: text, button: [SUBMIT, false] }, name);
    assert.equal(await $("#phoneError").evaluate((e) => e.children.length), 0, name);
    assert.equal(await $("#phoneInput").inputValue(), "0912 345 678", name);
    assert.equal(await $("#attachScanChk").isChecked(), false, name);
    if (name === "service error with markup") await page.screenshot({ path: screenshotPath("dialog-error.png") });
  }
});

test("closing during a request keeps the button sending across reopening; the reply applies even while closed", async () => {
  page = await h.open();
  await openFromFooter();
  h.lead.answer(422, '{"error":"Lỗi trước"}');
  await send("0912345678");
  await settled();
  assert.equal((await dialogState()).error, "Lỗi trước");

  h.lead.answer(200, '{"ok":true,"displayContact":"0912 345 678"}');
  const release = h.lead.hold();
  await send("0912345678");
  await eventually(() => h.lead.requests.length === 2);
  assert.deepEqual(await dialogState(), { open: true, form: true, success: false, error: null, button: [SENDING, true] });
  await $("#phoneInput").press("Enter");
  await page.screenshot({ path: screenshotPath("dialog-sending.png") });

  await $("button.modal-close").click();
  await openFromFooter();
  assert.deepEqual(await dialogState(), { open: true, form: true, success: false, error: null, button: [SENDING, true] });
  await page.mouse.click(5, 5);

  release();
  await settled();
  assert.deepEqual(await dialogState(), { open: false, form: false, success: true, error: null, button: [SUBMIT, false] });
  assert.equal(h.ipc.requests.length, 2, "the disabled button let no second request through");
  await openFromFooter();
  assert.deepEqual(await dialogState(), { open: true, form: true, success: false, error: null, button: [SUBMIT, false] });
});

test("without a reply in 75 s the dialog gives up; the late reply changes nothing", async () => {
  page = await h.open({ clock: true });
  await openFromFooter();
  const release = h.lead.hold();
  await send("0912345678");
  await eventually(() => h.lead.requests.length === 1);

  await page.clock.fastForward(74_000);
  assert.deepEqual((await dialogState()).button, [SENDING, true]);
  await page.clock.fastForward(1_000);
  await settled();
  const gaveUp = { open: true, form: true, success: false, error: FAILED, button: [SUBMIT, false] };
  assert.deepEqual(await dialogState(), gaveUp);

  const late = page.waitForResponse((r) => r.url().endsWith("/api/ipc"));
  release();
  assert.equal(await (await late).text(), '{"displayContact":"0912345678","error":null,"ok":true}');
  await page.evaluate(() => new Promise((r) => setTimeout(r, 0)));
  assert.deepEqual(await dialogState(), gaveUp);
});

test("both Zalo buttons open the vendor's link and leave the dialog on its view", async () => {
  page = await h.open();
  await openFromFooter();
  await page.getByRole("button", { name: "Mở Zalo ngay →" }).click();
  await eventually(() => h.opened().length === 1);
  assert.deepEqual(await dialogState(), { open: true, form: true, success: false, error: null, button: [SUBMIT, false] });

  await send("0912345678");
  await settled();
  await page.getByRole("button", { name: "Mở Zalo ngay", exact: true }).click();
  await eventually(() => h.opened().length === 2);
  assert.deepEqual(h.opened(), ["1:https://zalo.me/0901234567", "1:https://zalo.me/0901234567"]);
  assert.deepEqual(await dialogState(), { open: true, form: false, success: true, error: null, button: [SUBMIT, false] });
});

test("the note tells the consultant the product, the filter, the system, the language and the screen; nothing is stored", async () => {
  page = await h.open({ width: 700, height: 600 });
  await page.getByRole("button", { name: "Windows", exact: true }).click();
  await page.locator(".product-card").nth(1).getByRole("button", { name: "Mua / Tư vấn" }).click();
  await send("0912345678", { enter: true });
  await settled();

  const known = await page.evaluate(() => ({
    platform: navigator.userAgent.match(/\(([^)]*)\)/)[1],
    engine: navigator.userAgent.match(/AppleWebKit\/[\d.]+/)[0],
    language: navigator.language,
    screen: `${screen.width}×${screen.height}`,
    stored: localStorage.length + sessionStorage.length + document.cookie.length,
  }));
  const [lead] = leadBodies();
  const parts = lead.note.split("\n");
  assert.equal(parts[0], "Sản phẩm quan tâm: Windows 10/11 Home/Pro - FPP Key Điện Tử");
  assert.equal(parts[1], "Bộ lọc danh mục: Windows");
  assert.equal(parts[2], `Hệ điều hành: ${known.platform}`);
  assert.ok(parts[3].startsWith("Trình duyệt: ") && parts[3].includes(known.engine), parts[3]);
  assert.equal(parts[4], `Ngôn ngữ: ${known.language}`);
  assert.equal(parts[5], `Màn hình: ${known.screen}`);
  assert.equal(parts.length, 6);
  assert.equal(lead.productInterest, "Windows 10/11 Home/Pro - FPP Key Điện Tử");
  assert.equal(known.stored, 0);
});
