// The document as stored and as served, the frame before and after the script, and the
// stylesheet's rules that a user can see: the narrow-screen rule, `hidden`, disabled buttons.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { after, before, beforeEach, test } from "node:test";
import { SOURCE_DIR, screenshotPath, startHarness } from "./harness.mjs";

const PLACEHOLDER = "__OV_LOGO_DATA_URI__";

let h;
before(async () => { h = await startHarness(); });
after(async () => { await h?.close(); });
beforeEach(() => h.reset());

async function withPage(options, body) {
  const page = await h.open(options);
  try {
    return await body(page);
  } finally {
    await page.context().close();
  }
}

test("the stored document is UTF-8 without BOM, LF-only, and holds the placeholder once, as the logo's src", async () => {
  const bytes = readFileSync(join(SOURCE_DIR, "assets", "page.html"));
  const text = new TextDecoder("utf-8", { fatal: true }).decode(bytes);
  assert.notEqual(bytes[0], 0xef, "no byte-order mark");
  assert.ok(!text.includes("\r"), "no carriage return");
  assert.ok(text.endsWith("</html>\n"), "the last line ends with a line feed");
  assert.equal(text.split(PLACEHOLDER).length, 2, "exactly one placeholder");

  const context = await h.browser.newContext({ javaScriptEnabled: false });
  const page = await context.newPage();
  await page.setContent(text);
  assert.equal(await page.locator("img").count(), 1);
  assert.equal(await page.locator("img.brand-logo").getAttribute("src"), PLACEHOLDER);
  await context.close();

  assert.ok(!h.pageHtml.includes(PLACEHOLDER), "the served page has no placeholder left");
});

test("head, body and frame stand in their order, with nothing loaded from outside", async () => {
  const requests = [];
  const context = await h.browser.newContext({ viewport: { width: 820, height: 620 } });
  context.on("request", (r) => requests.push(r.url()));
  const page = await context.newPage();
  await page.goto(h.baseUrl);
  await page.waitForLoadState("networkidle");
  assert.deepEqual(requests.filter((u) => !u.startsWith("data:")), [h.baseUrl]);

  const shape = await page.evaluate(() => {
    const tags = (el) => [...el.children].map((c) => c.tagName.toLowerCase() +
      (c.id ? "#" + c.id : "") + (c.className ? "." + c.className.split(" ").join(".") : ""));
    return {
      lang: document.documentElement.lang,
      head: tags(document.head),
      charset: document.querySelector("meta[charset]").getAttribute("charset"),
      viewport: document.querySelector("meta[name=viewport]").content,
      title: document.title,
      body: tags(document.body),
      app: tags(document.querySelector(".app")),
      brand: tags(document.querySelector(".brand")),
      nav: document.querySelector("nav.tabs").getAttribute("aria-label"),
      anchors: document.querySelectorAll("a").length,
      buttons: [...document.querySelectorAll(".app button")].every((b) => b.type === "button"),
      external: [...document.querySelectorAll("[src], link, [href]")]
        .map((e) => e.getAttribute("src") || e.getAttribute("href"))
        .filter((u) => !u.startsWith("data:image/png;base64,")),
    };
  });
  assert.deepEqual(shape, {
    lang: "vi",
    head: ["meta", "meta", "title", "style"],
    charset: "UTF-8",
    viewport: "width=device-width, initial-scale=1.0",
    title: "Orvanta Tool",
    body: ["div.app", "div#consultModal.modal-backdrop", "script"],
    app: ["header.topbar", "nav.tabs", "main#workspace.main", "footer.footer"],
    brand: ["img.brand-logo", "div.brand-sep", "div.brand-title"],
    nav: "Chức năng chính",
    anchors: 0,
    buttons: true,
    external: [],
  });
  await context.close();
});

test("before any script runs the frame shows the active tab, the waiting card and the footer; the dialog is hidden", async () => {
  await withPage({ javaScriptEnabled: false }, async (page) => {
    const tab = page.locator("nav.tabs > button");
    assert.equal(await tab.count(), 1);
    assert.equal(await tab.getAttribute("id"), "tab-shop");
    assert.equal(await tab.getAttribute("class"), "tab-btn active");
    assert.equal(await tab.textContent(), "🛒 Mua bản quyền");
    assert.equal(await tab.evaluate((b) => getComputedStyle(b).color), "rgb(0, 96, 235)");
    assert.equal(await page.locator("#workspace > .card").count(), 1);
    assert.ok((await page.locator("#workspace > .card").textContent()).trim().length > 0);
    assert.equal(await page.locator(".footer-links > button.link-btn").textContent(), "💬 Zalo: 0901 234 567");
    assert.ok(!(await page.locator("#consultModal").isVisible()));
  });
  await withPage({}, async (page) => {
    assert.equal(await page.locator("#workspace > .card").count(), 1, "the header card replaced the waiting card");
    assert.equal(await page.locator(".product-card").count(), 8);
  });
});

test("the palette holds its thirteen values", async () => {
  const palette = {
    "--bg": "#eef2f5", "--card": "#ffffff", "--ink": "#0e1014", "--soft": "#4a525c", "--muted": "#5f6973",
    "--line": "#dce3ea", "--primary": "#0060eb", "--primary-hover": "#0052cc", "--primary-soft": "#edf5ff",
    "--green": "#08783e", "--green-bg": "#eefaf3", "--red": "#c81e1e", "--radius": "14px",
  };
  await withPage({}, async (page) => {
    const got = await page.evaluate((names) => {
      const style = getComputedStyle(document.documentElement);
      return Object.fromEntries(names.map((n) => [n, style.getPropertyValue(n).trim()]));
    }, Object.keys(palette));
    assert.deepEqual(got, palette);
  });
});

test("the logo shows 30 px high with its width following the 360 x 142 image", async () => {
  await withPage({}, async (page) => {
    const logo = await page.locator("img.brand-logo").evaluate(async (img) => {
      await img.decode();
      const box = img.getBoundingClientRect();
      return { natural: [img.naturalWidth, img.naturalHeight], height: box.height, width: box.width, alt: img.alt };
    });
    assert.deepEqual(logo.natural, [360, 142]);
    assert.equal(logo.height, 30);
    assert.ok(Math.abs(logo.width - 30 * 360 / 142) < 1, `width ${logo.width}`);
    assert.equal(logo.alt, "Orvanta");
  });
});

test("the narrow-screen rule takes effect at 640 px and below, not at 641", async () => {
  const columns = (page, selector) => page.locator(selector).evaluate(
    (el) => getComputedStyle(el).gridTemplateColumns.split(" ").length);
  const cases = [
    // width, tab bar, product grid, success buttons
    [820, 4, 2, 2],
    [641, 4, 2, 2],
    [640, 2, 1, 1],
    [500, 2, 1, 1],
  ];
  for (const [width, tabs, grid, buttons] of cases) {
    await withPage({ width }, async (page) => {
      await page.evaluate(() => {
        document.getElementById("consultModal").hidden = false;
        document.getElementById("consultSuccessView").hidden = false;
      });
      assert.deepEqual(
        [await columns(page, ".tabs"), await columns(page, ".product-grid"), await columns(page, ".btn-row")],
        [tabs, grid, buttons], `at ${width} px`);
      if (width === 820 || width === 640) {
        await page.evaluate(() => {
          document.getElementById("consultModal").hidden = true;
          document.getElementById("consultSuccessView").hidden = true;
        });
        await page.screenshot({ path: screenshotPath(`catalogue-${width}.png`), fullPage: true });
      }
    });
  }
});

test("hidden wins over an inline display; a disabled btn shows at half opacity and keeps its fill under the pointer", async () => {
  await withPage({}, async (page) => {
    const display = (id) => page.locator(id).evaluate((el) => getComputedStyle(el).display);
    assert.equal(await page.locator("#consultSuccessView").getAttribute("style").then((s) => /display: flex/.test(s)), true);
    assert.equal(await display("#consultSuccessView"), "none");
    assert.equal(await display("#consultModal"), "none");
    await page.evaluate(() => { document.getElementById("consultSuccessView").hidden = false; });
    assert.equal(await display("#consultSuccessView"), "flex");

    await page.locator(".footer-links button").click();
    const button = page.locator("#phoneSubmitBtn");
    const look = () => button.evaluate((b) => {
      const s = getComputedStyle(b);
      return { opacity: s.opacity, cursor: s.cursor, fill: s.backgroundColor };
    });
    await page.evaluate(() => { document.getElementById("consultSuccessView").hidden = true; });
    await button.hover();
    await page.waitForTimeout(250); // the fill's transition
    assert.deepEqual(await look(), { opacity: "1", cursor: "pointer", fill: "rgb(0, 82, 204)" });

    await button.evaluate((b) => { b.disabled = true; });
    await page.mouse.move(0, 0);
    await button.hover({ force: true });
    await page.waitForTimeout(250);
    assert.deepEqual(await look(), { opacity: "0.5", cursor: "not-allowed", fill: "rgb(0, 96, 235)" });
  });
});

test("the footer sits at the bottom of a short page; a tall page scrolls, bars and footer with it", async () => {
  await withPage({ width: 820, height: 1400 }, async (page) => {
    await page.getByRole("button", { name: "Windows", exact: true }).click();
    const box = await page.evaluate(() => ({
      footerBottom: document.querySelector(".footer").getBoundingClientRect().bottom,
      height: innerHeight,
      scrolls: document.documentElement.scrollHeight > innerHeight,
    }));
    assert.deepEqual(box, { footerBottom: 1400, height: 1400, scrolls: false });
  });
  await withPage({ width: 820, height: 620 }, async (page) => {
    const scrolled = await page.evaluate(() => {
      const tall = document.documentElement.scrollHeight;
      window.scrollTo(0, tall);
      return {
        tall: tall > innerHeight,
        topbarTop: document.querySelector(".topbar").getBoundingClientRect().top,
        tabsTop: document.querySelector(".tabs").getBoundingClientRect().top,
        footerBottom: Math.round(document.querySelector(".footer").getBoundingClientRect().bottom),
        height: innerHeight,
      };
    });
    assert.ok(scrolled.tall);
    assert.ok(scrolled.topbarTop < 0 && scrolled.tabsTop < 0, "the bars scroll away");
    assert.equal(scrolled.footerBottom, scrolled.height);
  });
});

test("a title longer than the top bar stays on one line", async () => {
  await withPage({ width: 500 }, async (page) => {
    const title = page.locator(".brand-title");
    const oneLine = await title.evaluate((t) => t.getBoundingClientRect().height);
    const long = await title.evaluate((t) => {
      t.textContent = "Bản quyền Windows & Office chính hãng ".repeat(6);
      return t.getBoundingClientRect().height;
    });
    assert.equal(long, oneLine);
  });
});

test("the page carries the vendor's values that the native side holds", async () => {
  const header = readFileSync(join(SOURCE_DIR, "src", "app", "vendor.h"), "utf8");
  const vendor = Object.fromEntries([...header.matchAll(
    /inline constexpr std::string_view (\w+) = "((?:[^"\\]|\\.)*)";/g)].map(([, name, value]) => [name, value]));
  for (const key of ["contact_number", "zalo_link", "site_host", "example_phone"]) {
    assert.ok(vendor[key], `vendor.h names ${key}`);
  }
  assert.equal(vendor.zalo_link, "https://zalo.me/" + vendor.contact_number.replace(/\D/g, ""));

  await withPage({}, async (page) => {
    const seen = await page.evaluate(() => ({
      footer: document.querySelector(".footer-links button").textContent,
      messenger: document.querySelector("#consultFormView strong").textContent,
      zaloButtons: [...document.querySelectorAll("#consultModal button")]
        .map((b) => b.getAttribute("onclick") || "").filter((a) => a.startsWith("openExternal")),
      placeholder: document.getElementById("phoneInput").placeholder,
      urls: PRODUCTS.map((p) => p.url),
    }));
    assert.equal(seen.footer, "💬 Zalo: " + vendor.contact_number);
    assert.equal(seen.messenger, vendor.contact_number);
    assert.deepEqual(seen.zaloButtons, Array(2).fill(`openExternal('${vendor.zalo_link}')`));
    assert.equal(seen.placeholder, `Nhập số điện thoại Zalo (VD: ${vendor.example_phone})...`);
    for (const url of seen.urls) assert.ok(url.startsWith(`https://${vendor.site_host}/san-pham/`), url);
  });
  assert.ok(h.pageHtml.includes(
    `"Không gửi được yêu cầu. Vui lòng nhắn trực tiếp Zalo ${vendor.contact_number}."`), "the failure text");
});
