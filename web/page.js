// The page: sends the chosen file and choices to the worker on every change,
// and shows what comes back. A conversion that runs too long, or a worker
// that fails, is stopped and reported; the controls never wait for it.
"use strict";

const COLOUR_NAMES = ["black", "white", "red", "cyan", "purple", "green", "blue", "yellow", "orange", "brown",
                      "light red", "dark grey", "grey", "light green", "light blue", "light grey"];
const LONGEST_CONVERSION_MS = 60000;

const controls = ["mode", "palette", "dither", "view", "background", "framing"].map((id) => document.getElementById(id));
const [modeSelect, paletteSelect, ditherSelect, viewSelect, backgroundSelect, framingSelect] = controls;
const fileInput = document.getElementById("picture");
const screen = document.getElementById("screen");
const status = document.getElementById("status");
const links = {
  picture: document.getElementById("download-picture"),
  program: document.getElementById("download-prg"),
  png: document.getElementById("download-png"),
};

let worker = null;
let chosenFile = null;
let run = 0;          // the number of the latest request; older answers are dropped
let busy = false;
let deadline = null;
let objectUrls = [];

function setState(state) {
  document.body.dataset.state = state;
  document.body.dataset.run = String(run);
}

function clearDownloads() {
  for (const link of Object.values(links)) {
    link.removeAttribute("href");
    link.removeAttribute("download");
  }
  objectUrls.forEach((url) => URL.revokeObjectURL(url));
  objectUrls = [];
}

function offer(link, blob, name) {
  const url = URL.createObjectURL(blob);
  objectUrls.push(url);
  link.download = name;
  link.href = url;
}

function startWorker() {
  worker = new Worker("worker.js");
  worker.onmessage = (event) => answer(event.data);
  worker.onerror = (event) => {
    event.preventDefault();
    fail(["the converter stopped: " + (event.message || "an error in the worker")]);
    replaceWorker();
  };
}

function replaceWorker() {
  if (worker) {
    worker.terminate();
  }
  startWorker();
}

function choices() {
  return {
    mode: modeSelect.value,
    palette: Number(paletteSelect.value),
    dither: Number(ditherSelect.value),
    view: Number(viewSelect.value),
    background: Number(backgroundSelect.value),
    whole: framingSelect.value === "whole",
  };
}

function fail(lines) {
  clearTimeout(deadline);
  busy = false;
  clearDownloads();
  status.textContent = lines.join("\n");
  setState("failed");
}

function convert() {
  if (!chosenFile) {
    return;
  }
  run += 1;
  clearTimeout(deadline);
  if (busy) {
    // The worker is still on an older request: start afresh rather than wait.
    replaceWorker();
  }
  busy = true;
  clearDownloads();
  status.textContent = "converting " + chosenFile.name + "…";
  setState("busy");
  const thisRun = run;
  deadline = setTimeout(() => {
    if (thisRun === run && busy) {
      fail(["the conversion took longer than " + LONGEST_CONVERSION_MS / 1000 + " s and was stopped"]);
      replaceWorker();
    }
  }, LONGEST_CONVERSION_MS);
  worker.postMessage({ kind: "convert", run: thisRun, file: chosenFile, choices: choices() });
}

function showScreen(rgba) {
  const context = screen.getContext("2d", { colorSpace: "srgb" });
  context.putImageData(new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, rgba.byteLength), 320, 200,
                                     { colorSpace: "srgb" }), 0, 0);
}

function baseName(name) {
  const dot = name.lastIndexOf(".");
  return (dot > 0 ? name.slice(0, dot) : name) || "picture";
}

function answer(message) {
  if (message.kind === "ready") {
    // A worker started afresh says so too; the page is set up once.
    if (document.body.dataset.state === "loading") {
      fillPalettes(message.palettes, message.defaultPalette);
      status.textContent = "Choose or drop a picture.";
      setState("ready");
      convert();
    }
    return;
  }
  if (message.kind === "fatal") {
    fail(message.lines);
    replaceWorker();
    return;
  }
  if (message.run !== run) {
    return;
  }
  clearTimeout(deadline);
  busy = false;
  const result = message.result;
  const lines = result.lines ? result.lines.replace(/\n$/, "").split("\n") : [];
  if (result.code < 0) {
    lines.push("ERROR : " + result.error + " (code " + result.code + ")");
    if (message.trapped) {
      replaceWorker();
    }
    fail(lines);
    return;
  }
  showScreen(result.screen);
  const base = baseName(chosenFile.name);
  screen.toBlob((png) => {
    if (message.run !== run) {
      return;
    }
    offer(links.picture, new Blob([result.picture], { type: "application/octet-stream" }),
          base + "." + result.pictureExtension);
    offer(links.program, new Blob([result.program], { type: "application/octet-stream" }), base + ".prg");
    offer(links.png, png, base + ".png");
    const decoding = Math.round(message.decodingMilliseconds);
    lines.push("took " + Math.round(message.milliseconds) + " ms" +
               (decoding > 0 ? ", of which " + decoding + " ms the browser's decoding" : ""));
    status.textContent = lines.join("\n");
    setState("done");
  }, "image/png");
}

function fillPalettes(palettes, defaultPalette) {
  const select = paletteSelect;
  select.textContent = "";
  for (const palette of palettes) {
    select.add(new Option(palette.number + " " + palette.name, String(palette.number)));
  }
  select.value = String(defaultPalette);
}

function fillBackgrounds() {
  COLOUR_NAMES.forEach((name, number) => {
    backgroundSelect.add(new Option("$" + number.toString(16).padStart(2, "0") + " " + name, String(number)));
  });
}

// The background is a multicolour picture's choice.
function showBackgroundChoice() {
  backgroundSelect.disabled = modeSelect.value === "hires";
}

function choose(file) {
  if (file) {
    chosenFile = file;
    convert();
  }
}

fillBackgrounds();
fileInput.addEventListener("change", () => choose(fileInput.files[0]));
controls.forEach((control) => control.addEventListener("change", convert));
modeSelect.addEventListener("change", showBackgroundChoice);
document.addEventListener("dragover", (event) => {
  event.preventDefault();
  document.body.classList.add("dropping");
});
document.addEventListener("dragleave", () => document.body.classList.remove("dropping"));
document.addEventListener("drop", (event) => {
  event.preventDefault();
  document.body.classList.remove("dropping");
  choose(event.dataTransfer.files[0]);
});
startWorker();
