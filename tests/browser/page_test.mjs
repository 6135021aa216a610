// The web page in headless Chromium, against the programs: the files it
// offers must be the bytes ingravo and exgravo write, its screen the pixels
// exgravo renders, and its failures the programs' error lines.
//
// node page_test.mjs PAGE_DIR BIN_DIR [--screenshot FILE]
// Exit status 77: skipped (no Chromium), unless CI is true.
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";

import { decodePng, encodeHugeClaim, encodePng, makeLogo, makePhoto } from "./pictures.mjs";

const [pageArgument, binArgument, ...rest] = process.argv.slice(2);
const pageDir = path.resolve(pageArgument);
const binDir = path.resolve(binArgument);
const screenshotIndex = rest.indexOf("--screenshot");
const screenshotPath = screenshotIndex >= 0 ? rest[screenshotIndex + 1] : null;
const chromium = process.env.CHROMIUM || "/usr/bin/chromium";

function skip(reason) {
  if (process.env.CI === "true") {
    console.error("FAILED: " + reason + " (CI is true: the browser test must run)");
    process.exit(1);
  }
  console.log("SKIPPED: " + reason);
  process.exit(77);
}

if (!fs.existsSync(chromium)) {
  skip(chromium + " is missing (Debian: chromium)");
}
if (!fs.existsSync(path.join(pageDir, "page_conversion.wasm"))) {
  skip("the page is not built in " + pageDir + " (cmake --workflow --preset web)");
}
const { default: puppeteer } = await import("puppeteer-core");

const work = fs.mkdtempSync(path.join(os.tmpdir(), "page-test-"));
let failures = 0;

function check(condition, what) {
  console.log((condition ? "ok      " : "FAILED  ") + what);
  if (!condition) {
    failures += 1;
  }
}

// A program's run in the work folder: its status and output.
function runProgram(program, args) {
  const started = process.hrtime.bigint();
  const run = spawnSync(path.join(binDir, program), args, { cwd: work, encoding: "latin1" });
  return { status: run.status, output: run.stdout, milliseconds: Number(process.hrtime.bigint() - started) / 1e6 };
}

function programFile(program, args, output) {
  const run = runProgram(program, args);
  if (run.status !== 0) {
    throw new Error(program + " " + args.join(" ") + " failed:\n" + run.output);
  }
  return fs.readFileSync(path.join(work, output));
}

// exgravo's PNG of a picture, as 320 x 200 RGBA.
function exgravoScreen(picture, palette, hiresSwitch) {
  const args = [picture, "shown.png", "-c" + palette].concat(hiresSwitch ? ["-s"] : []);
  const png = decodePng(programFile("exgravo", args, "shown.png"));
  const rgba = Buffer.alloc(png.width * png.height * 4, 0xff);
  for (let i = 0; i < png.width * png.height; i += 1) {
    png.rgb.copy(rgba, i * 4, i * 3, i * 3 + 3);
  }
  return rgba;
}

// The page's own files only; anything else asked for is recorded.
const TYPES = { ".html": "text/html", ".js": "text/javascript", ".css": "text/css", ".wasm": "application/wasm" };
const server = http.createServer((request, response) => {
  const name = decodeURIComponent(new URL(request.url, "http://localhost").pathname).replace(/^\/$/, "/index.html");
  const file = path.join(pageDir, path.normalize(name));
  if (!file.startsWith(pageDir) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
    response.writeHead(404).end();
    return;
  }
  response.writeHead(200, { "Content-Type": TYPES[path.extname(file)] || "application/octet-stream" });
  response.end(fs.readFileSync(file));
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const origin = "http://127.0.0.1:" + server.address().port;

const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--user-data-dir=" + path.join(work, "profile")],
});
const foreignRequests = [];
const page = await browser.newPage();
page.on("request", (request) => {
  if (!request.url().startsWith(origin) && !request.url().startsWith("blob:") && !request.url().startsWith("data:")) {
    foreignRequests.push(request.url());
  }
});
page.on("pageerror", (error) => console.log("page error: " + error.message));
page.on("console", (message) => console.log("page console: " + message.text()));

// Sets the choices, then the file when one is given (or a change of the
// choices alone), and waits for the page's answer.
async function convertInPage(choices, file) {
  const before = Number(await page.$eval("body", (body) => body.dataset.run || 0));
  await page.evaluate((values) => {
    for (const [id, value] of Object.entries(values)) {
      document.getElementById(id).value = String(value);
    }
  }, choices);
  if (file) {
    // Emptied first, so that the same file chosen again is a change too.
    await page.$eval("#picture", (input) => { input.value = ""; });
    const input = await page.$("#picture");
    await input.uploadFile(file);
  } else {
    await page.$eval("#mode", (select) => select.dispatchEvent(new Event("change")));
  }
  return pageResult(before);
}

// The page's answer to the requests after run number `before`.
async function pageResult(before) {
  await page.waitForFunction((run) => Number(document.body.dataset.run) > run &&
                             ["done", "failed"].includes(document.body.dataset.state), { timeout: 120000 }, before);
  return page.evaluate(async () => {
    const bytes = async (id) => {
      const link = document.getElementById(id);
      if (!link.hasAttribute("href")) {
        return null;
      }
      const buffer = await (await fetch(link.href)).arrayBuffer();
      return { name: link.download, bytes: Array.from(new Uint8Array(buffer)) };
    };
    const canvas = document.getElementById("screen");
    const screen = canvas.getContext("2d", { colorSpace: "srgb" }).getImageData(0, 0, canvas.width, canvas.height,
                                                                                { colorSpace: "srgb" });
    return {
      state: document.body.dataset.state,
      status: document.getElementById("status").textContent,
      picture: await bytes("download-picture"),
      program: await bytes("download-prg"),
      png: await bytes("download-png"),
      width: canvas.width,
      height: canvas.height,
      screen: Array.from(screen.data),
    };
  });
}

const DEFAULTS = { mode: "multicolour", palette: 13, dither: 1, view: 0, background: -1, framing: "cover" };

// The switches of ingravo for the page's choices.
function ingravoSwitches(choices) {
  const switches = ["-d" + (choices.dither === 1 ? "" : choices.dither), "-c" + choices.palette];
  if (choices.view !== 0) {
    switches.push("-v" + choices.view);
  }
  if (choices.mode === "hires") {
    switches.push("-s");
  }
  if (choices.mode === "fit") {
    switches.push("-f");
  }
  if (choices.background >= 0) {
    switches.push("-b" + choices.background);
  }
  if (choices.framing === "whole") {
    switches.push("-w");
  }
  return switches;
}

function sameBytes(page, expected) {
  return page !== null && Buffer.from(page.bytes).equals(expected);
}

// A photo converted in the page and by ingravo: the picture, the program and
// the screen (as exgravo renders the picture) must agree.
async function checkPhoto(label, photo, changes, file) {
  const choices = { ...DEFAULTS, ...changes };
  const result = await convertInPage(choices, file);
  const switches = ingravoSwitches(choices);
  const stem = "photo_" + label.replace(/[^a-z0-9]+/g, "_");
  const run = runProgram("ingravo", [photo, stem].concat(switches));
  const extension = fs.existsSync(path.join(work, stem + ".art")) ? "art" : "koa";
  const picture = fs.readFileSync(path.join(work, stem + "." + extension));
  const program = programFile("ingravo", [photo, stem + ".prg"].concat(switches), stem + ".prg");
  const screen = exgravoScreen(stem + "." + extension, choices.palette, extension === "art");
  check(result.state === "done", label + ": converted (" + result.status.split("\n").join(" | ") + ")");
  check(result.picture !== null && result.picture.name.endsWith("." + extension) && sameBytes(result.picture, picture),
        label + ": the ." + extension + " file is ingravo's " + switches.join(" "));
  check(sameBytes(result.program, program), label + ": the .prg is ingravo's");
  check(Buffer.from(result.screen).equals(screen), label + ": the screen is exgravo's -c" + choices.palette);
  const converted = run.output.split("\n").find((line) => line.startsWith("converted to"));
  check(converted !== undefined && result.status.includes(converted), label + ": the status says '" + converted + "'");
  return result;
}

try {
  await page.goto(origin + "/index.html");
  await page.waitForFunction(() => document.body.dataset.state === "ready", { timeout: 15000 });
  const paletteCount = await page.$$eval("#palette option", (options) => options.length);
  check(paletteCount === 27 && (await page.$eval("#palette", (select) => select.value)) === "13",
        "the palettes 0 to 26 are offered, 13 chosen");

  // A photo-like picture without colour chunks, not of the screen's shape.
  const photo = path.join(work, "photo.png");
  fs.writeFileSync(photo, encodePng(makePhoto(480, 360)));
  const first = await checkPhoto("multicolour", "photo.png", {}, photo);
  check(first.status.includes("read png 480 x 360"), "the status says 'read png 480 x 360'");
  check(first.width === 320 && first.height === 200, "the canvas is 320 x 200");
  check(first.png !== null && first.png.name === "photo.png", "a PNG of the screen is offered");
  if (first.png !== null) {
    const shot = decodePng(Buffer.from(first.png.bytes));
    const rgba = Buffer.alloc(320 * 200 * 4, 0xff);
    for (let i = 0; i < 320 * 200; i += 1) {
      shot.rgb.copy(rgba, i * 4, i * 3, i * 3 + 3);
    }
    check(rgba.equals(Buffer.from(first.screen)), "the PNG offered is the screen");
  }
  if (screenshotPath) {
    await page.setViewport({ width: 1100, height: 640 });
    await page.screenshot({ path: screenshotPath });
    console.log("wrote " + screenshotPath);
  }
  await checkPhoto("hires", "photo.png", { mode: "hires" });
  await checkPhoto("dither diffusion", "photo.png", { dither: 2 });
  await checkPhoto("dither none", "photo.png", { dither: 0 });
  await checkPhoto("crisp view", "photo.png", { view: 1 });
  await checkPhoto("crisp view, hires", "photo.png", { view: 1, mode: "hires" });
  await checkPhoto("fit", "photo.png", { mode: "fit" });
  await checkPhoto("whole picture on blue", "photo.png", { framing: "whole", background: 6 });

  // C64 pictures, made by ingravo, shown in two palettes.
  for (const [name, hires] of [["photo_multicolour.koa", false], ["photo_hires.art", true]]) {
    const file = path.join(work, name);
    for (const palette of [5, 13]) {
      const result = await convertInPage({ ...DEFAULTS, palette }, file);
      const screen = exgravoScreen(name, palette, hires);
      const args = [name, "shown.prg"].concat(hires ? ["-s"] : []);
      check(result.state === "done" && Buffer.from(result.screen).equals(screen),
            name + " in palette " + palette + ": the screen is exgravo's");
      check(sameBytes(result.program, programFile("exgravo", args, "shown.prg")), name + ": the .prg is exgravo's");
    }
  }

  // Transparent parts show the background: the canvas's premultiplied alpha
  // keeps a picture whose pixels are wholly opaque or wholly transparent.
  const logo = path.join(work, "logo.png");
  fs.writeFileSync(logo, encodePng(makeLogo(300, 300)));
  await checkPhoto("a transparent logo", "logo.png", { dither: 0, framing: "whole" }, logo);

  // The suite's own PCX, converted as ingravo -d converts it.
  programFile("exgravo", ["photo_multicolour.koa", "drawn.pcx", "-c5"], "drawn.pcx");
  await checkPhoto("a PCX", "drawn.pcx", { dither: 0 }, path.join(work, "drawn.pcx"));

  // A file dropped on the page is taken as one chosen.
  const dropped = await page.evaluate(async (bytes) => {
    const before = Number(document.body.dataset.run);
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(bytes)], "dropped.koa"));
    document.body.dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true }));
    while (Number(document.body.dataset.run) === before || document.body.dataset.state === "busy") {
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    return { state: document.body.dataset.state, name: document.getElementById("download-prg").download };
  }, Array.from(fs.readFileSync(path.join(work, "photo_multicolour.koa"))));
  check(dropped.state === "done" && dropped.name === "dropped.prg", "a dropped Koala picture is shown");

  // Failures: the programs' error line and code, and nothing to download.
  const jpeg = Buffer.from(await page.evaluate(async () => {
    const canvas = new OffscreenCanvas(320, 240);
    const context = canvas.getContext("2d");
    for (let i = 0; i < 400; i += 1) {
      context.fillStyle = "hsl(" + (i * 37) % 360 + ", 70%, " + (20 + (i * 13) % 60) + "%)";
      context.fillRect((i * 53) % 300, (i * 29) % 220, 20, 20);
    }
    return Array.from(new Uint8Array(await (await canvas.convertToBlob({ type: "image/jpeg" })).arrayBuffer()));
  }));
  // Its start-of-frame and scan headers torn out; cut off in its scan.
  fs.writeFileSync(path.join(work, "damaged.jpg"), Buffer.concat([jpeg.subarray(0, 20), Buffer.alloc(300, 0x5a)]));
  fs.writeFileSync(path.join(work, "truncated.jpg"), jpeg.subarray(0, Math.floor(jpeg.length * 0.6)));
  fs.writeFileSync(path.join(work, "notes.txt"), "These are notes, not a picture.\n".repeat(20));
  // A Koala picture cut short.
  fs.writeFileSync(path.join(work, "short.koa"), fs.readFileSync(path.join(work, "photo_multicolour.koa")).subarray(0, 5000));
  fs.writeFileSync(path.join(work, "huge.png"), encodeHugeClaim());
  for (const name of ["damaged.jpg", "truncated.jpg", "huge.png", "notes.txt", "short.koa"]) {
    const program = name.endsWith(".koa") ? "exgravo" : "ingravo";
    const run = runProgram(program, program === "ingravo" ? [name, "refused", "-d"] : [name, "refused.png"]);
    const errorLine = run.output.split("\n").find((line) => line.startsWith("ERROR : "));
    const code = run.status - 256;
    const result = await convertInPage(DEFAULTS, path.join(work, name));
    const message = Buffer.from(errorLine.slice("ERROR : ".length), "latin1");
    const french = [...message].map((byte) => (byte === 0x82 ? "é" : byte === 0x8a ? "è" : String.fromCharCode(byte))).join("");
    check(result.state === "failed" && result.status.includes("ERROR : " + french + " (code " + code + ")"),
          name + ": the page says 'ERROR : " + french + " (code " + code + ")' [" + result.status.split("\n").join(" | ") + "]");
    check(result.picture === null && result.program === null && result.png === null, name + ": nothing to download");
  }
  // After a failure the page still converts.
  await checkPhoto("again after failures", "photo.png", { palette: 5 }, photo);

  // Times of a 1600 x 900 photo in both modes, best of five, beside ingravo's
  // (runs taken in turns, so that a busy machine slows both alike).
  const large = path.join(work, "large.png");
  fs.writeFileSync(large, encodePng(makePhoto(1600, 900)));
  // The same photo as a JPEG, which ingravo reads at a reduced scale.
  const largeJpeg = Buffer.from(await page.evaluate(async (bytes) => {
    const bitmap = await createImageBitmap(new Blob([new Uint8Array(bytes)]));
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    canvas.getContext("2d").drawImage(bitmap, 0, 0);
    const blob = await canvas.convertToBlob({ type: "image/jpeg", quality: 0.9 });
    return Array.from(new Uint8Array(await blob.arrayBuffer()));
  }, Array.from(fs.readFileSync(large))));
  fs.writeFileSync(path.join(work, "large.jpg"), largeJpeg);
  for (const [picture, mode] of [["large.png", "multicolour"], ["large.png", "hires"], ["large.jpg", "multicolour"]]) {
    const pageTimes = [];
    const decodingTimes = [];
    const programTimes = [];
    for (let attempt = 0; attempt < 5; attempt += 1) {
      const result = await convertInPage({ ...DEFAULTS, mode }, attempt === 0 ? path.join(work, picture) : null);
      const times = /took (\d+) ms, of which (\d+) ms/.exec(result.status);
      pageTimes.push(Number(times[1]));
      decodingTimes.push(Number(times[2]));
      const switches = mode === "hires" ? ["-d", "-s"] : ["-d"];
      programTimes.push(runProgram("ingravo", [picture, "large"].concat(switches)).milliseconds);
    }
    const pageBest = Math.min(...pageTimes);
    const programBest = Math.min(...programTimes);
    console.log("1600 x 900 " + picture + ", " + mode + " -d: page " + pageBest + " ms (decoding " +
                Math.min(...decodingTimes) + " ms), ingravo " + Math.round(programBest) + " ms");
    // The page keeps within twice the program's time on a quiet machine; the
    // bound here leaves room for a busy one, and catches a slow build.
    check(pageBest <= 3 * programBest + 20, picture + ", " + mode + ": the page takes at most three times ingravo's time");
  }
  // A change while a conversion runs: the page starts afresh, and what it
  // offers is the latest choice's.
  await convertInPage(DEFAULTS, large);
  const before = Number(await page.$eval("body", (body) => body.dataset.run));
  await page.evaluate(() => {
    const dither = document.getElementById("dither");
    dither.value = "1";
    dither.dispatchEvent(new Event("change"));
    dither.value = "2";
    dither.dispatchEvent(new Event("change"));
  });
  const latest = await pageResult(before + 1);
  check(sameBytes(latest.picture, programFile("ingravo", ["large.png", "latest", "-d2"], "latest.koa")),
        "a choice changed during a conversion: the page gives the latest choice's picture");
  check(foreignRequests.length === 0, "no request beyond the page's own files " + foreignRequests.join(" "));
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
if (failures > 0) {
  console.log(failures + " checks failed");
  process.exit(1);
}
console.log("all checks passed");
