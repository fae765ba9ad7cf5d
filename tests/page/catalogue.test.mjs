// The catalogue: its eight entries as a user sees them, the filter pills, the escaper and
// the render functions, driven with real clicks.
import assert from "node:assert/strict";
import { after, afterEach, before, beforeEach, test } from "node:test";
import { startHarness } from "./harness.mjs";

// [id, group, name, meta, price, priceNote, matchEdition, path on the web site]
const CATALOGUE = [
  ["win-11-pro-online", "windows", "Windows 11 Pro Online Download (FQC-10572)",
    "Bàn giao điện tử · Vĩnh viễn · Xuất VAT (PDF + XML)", "1.200.000đ", "Từ 5 máy: 1.160.000đ", "Pro",
    "/san-pham/windows-11-pro-online-download-fqc-10572"],
  ["win-fpp-nobox", "windows", "Windows 10/11 Home/Pro - FPP Key Điện Tử",
    "Chuyển máy được khi đổi PC · Giao email nhanh · VAT đầy đủ", "2.250.000đ", "Từ 5 máy: 2.200.000đ", "Home|Pro",
    "/san-pham/windows-10-11-home-pro-fpp-no-box"],
  ["win-oem-dvd", "windows", "Windows 10/11 Home/Pro - OEM DVD Fullbox",
    "Gắn cố định 1 mainboard · Hộp đĩa & tem COA · VAT đầy đủ", "1.300.000đ", "Từ 5 máy: 1.250.000đ", "Home|Pro",
    "/san-pham/windows-10-11-home-pro-dvd-fullbox"],
  ["win-fpp-usb", "windows", "Windows 10/11 Home/Pro - FPP USB Fullbox",
    "Best Seller · Hộp + USB cài đặt Microsoft · Chuyển máy hợp lệ", "2.700.000đ", "Từ 5 máy: 2.650.000đ", "Home|Pro",
    "/san-pham/windows-10-11-home-pro-fpp-usb-fullbox"],
  ["office-2021-nobox", "office", "Office 2021 Pro Plus - Key Điện Tử",
    "Dùng vĩnh viễn cho 1 máy · Tải ISO chuẩn · VAT đầy đủ", "2.250.000đ", "Từ 5 máy: 2.200.000đ", "Office",
    "/san-pham/office-2021-pro-plus-no-box"],
  ["office-2021-bind", "office", "Office 2021 Pro Plus - Bind Account",
    "Gắn tài khoản Microsoft · Hỗ trợ chuyển máy · Có bản Fullbox", "2.850.000đ", "Fullbox: 3.200.000đ", "Office",
    "/san-pham/office-2021-pro-plus-bind-account-no-box"],
  ["office-2024-hb", "office", "Office 2024 Home & Business ESD (PC/Mac)",
    "Bản mới nhất 2024 · Mua 1 lần vĩnh viễn · Hỗ trợ PC & Mac", "3.550.000đ", "Bind Account: 5.550.000đ", "Office",
    "/san-pham/office-home-business-2024-online-esd"],
  ["m365-standard", "office", "Microsoft 365 Business Standard (1 Năm)",
    "Office cho 5 thiết bị + 1TB OneDrive + Email tên miền công ty", "Liên hệ báo giá",
    "Chiết khấu doanh nghiệp · VAT XML", "Office", "/san-pham/microsoft-365-business-standard"],
];

let h;
let page;
before(async () => { h = await startHarness(); });
after(async () => { await h?.close(); });
beforeEach(async () => {
  h.reset();
  page = await h.open();
});
afterEach(async () => { await page.context().close(); });

// What each rendered card shows, read from the screen's text.
function shownCards(p) {
  return p.$$eval(".product-grid > .product-card", (cards) => cards.map((c) => ({
    tag: c.querySelector(".prod-group-tag").textContent,
    name: c.querySelector(".prod-name").textContent,
    meta: c.querySelector(".prod-meta").textContent,
    price: c.querySelector(".prod-price").textContent,
    priceNote: c.querySelector(".prod-price-sub").textContent,
    button: c.querySelector("button.btn-buy[type=button]").textContent,
  })));
}

function expectedCards(rows) {
  return rows.map(([, group, name, meta, price, priceNote]) => ({
    tag: group === "windows" ? "🪟 Windows" : "📄 Office",
    name, meta, price, priceNote, button: "Mua / Tư vấn",
  }));
}

test("the list holds the eight entries with every field, each url on the vendor's site", async () => {
  const products = await page.evaluate(() => PRODUCTS);
  assert.deepEqual(products, CATALOGUE.map(([id, group, name, meta, price, priceNote, matchEdition, path]) => ({
    id, group, name, meta, price, priceNote, matchEdition, url: "https://orvanta.vn" + path,
  })));
  assert.deepEqual(await page.evaluate(() => state), { tab: "shop", shopFilter: "all", selectedProduct: "" });
});

test("the filter pills show all, then Windows, then Office entries in list order", async () => {
  const header = page.locator("#workspace > .card");
  assert.equal(await header.locator("strong").textContent(), "Chọn gói Windows / Office chính hãng");
  assert.equal(await header.locator(".filter-row > div > div").textContent(),
    "Cam kết nguồn gốc rõ ràng · Hỗ trợ VAT điện tử PDF + XML (kể cả 1 máy)");

  const cases = [
    ["Windows", "windows", CATALOGUE.slice(0, 4)],
    ["Office / M365", "office", CATALOGUE.slice(4)],
    ["Tất cả", "all", CATALOGUE],
  ];
  assert.deepEqual(await shownCards(page), expectedCards(CATALOGUE), "first render");
  for (const [label, value, rows] of cases) {
    await page.getByRole("button", { name: label, exact: true }).click();
    assert.deepEqual(await shownCards(page), expectedCards(rows), label);
    assert.deepEqual(await page.$$eval(".filter-pill.active", (b) => b.map((x) => x.textContent)), [label]);
    assert.deepEqual(await page.$$eval(".filter-pill", (b) => b.map((x) => x.textContent)),
      ["Tất cả", "Windows", "Office / M365"]);
    assert.equal(await page.evaluate(() => state.shopFilter), value);
    assert.equal(await page.evaluate(() => state.tab), "shop");
  }
});

test("a click on the active pill renders the same catalogue afresh", async () => {
  await page.getByRole("button", { name: "Windows", exact: true }).click();
  const before = await page.evaluate(() => {
    window.__oldGrid = document.querySelector(".product-grid");
    return document.getElementById("workspace").innerHTML;
  });
  await page.getByRole("button", { name: "Windows", exact: true }).click();
  const [afterHtml, replaced] = await page.evaluate(() => [
    document.getElementById("workspace").innerHTML,
    !document.contains(window.__oldGrid),
  ]);
  assert.equal(afterHtml, before);
  assert.ok(replaced, "the grid is built anew");
});

test("entry 7 keeps its plain ampersand on screen and in the dialog; entry 8 asks for a quote", async () => {
  const card = page.locator(".product-card").nth(6);
  assert.equal(await card.locator(".prod-name").textContent(), "Office 2024 Home & Business ESD (PC/Mac)");
  assert.match(await card.locator(".prod-name").innerHTML(), /Home &amp; Business/);
  await card.getByRole("button", { name: "Mua / Tư vấn" }).click();
  assert.equal(await page.locator("#modalProductName").textContent(), "Office 2024 Home & Business ESD (PC/Mac)");
  assert.equal(await page.evaluate(() => state.selectedProduct), "Office 2024 Home & Business ESD (PC/Mac)");

  assert.equal(await page.locator(".product-card").nth(7).locator(".prod-price").textContent(), "Liên hệ báo giá");
});

test("esc escapes & < > and the double quote, and nothing else", async () => {
  const results = await page.evaluate(() =>
    [null, undefined, 0, false, "&amp;", '<a href="x">', "it's \\ here\n"].map(esc));
  assert.deepEqual(results, ["", "", "0", "false", "&amp;amp;", "&lt;a href=&quot;x&quot;&gt;", "it's \\ here\n"]);
});

test("an unknown filter marks no pill and shows an empty grid; the tab button re-renders with the filter kept", async () => {
  await page.evaluate(() => { state.shopFilter = "Windows"; render(); });
  assert.equal(await page.locator(".filter-pill.active").count(), 0);
  assert.equal(await page.locator(".product-grid").count(), 1);
  assert.equal(await page.locator(".product-card").count(), 0);

  await page.getByRole("button", { name: "Office / M365", exact: true }).click();
  await page.locator("#tab-shop").click();
  assert.ok(await page.locator("#tab-shop").evaluate((b) => b.classList.contains("active")));
  assert.deepEqual(await shownCards(page), expectedCards(CATALOGUE.slice(4)));

  // Without a workspace, render and switchTab do nothing and report nothing.
  const error = await page.evaluate(() => {
    document.getElementById("workspace").remove();
    try { render(); switchTab("shop"); return null; } catch (e) { return String(e); }
  });
  assert.equal(error, null);
});
