// The worker: decodes desktop pictures with the browser and hands their
// pixels, or a C64 picture's bytes, to the library in WebAssembly. Every
// failure comes back as a result with the error code and the lines the
// programs would print; a trap in the library as well, marked so that the
// page starts a fresh worker.
"use strict";

importScripts("page_conversion.js");

// Decoded pictures beyond this many pixels are refused: the browser holds
// them whole, four bytes a pixel.
const MAX_DECODED_PIXELS = 50 * 1000 * 1000;

const modulePromise = createConversionModule();
// Said after a trap, when the module can no longer be called.
let allocationMessage = "";

modulePromise.then((library) => {
  const constants = library.pageConstants();
  allocationMessage = library.errorMessage(constants.allocation);
  postMessage({ kind: "ready", palettes: library.paletteList(), defaultPalette: constants.defaultPalette });
}, (error) => {
  postMessage({ kind: "fatal", lines: ["the converter could not be loaded: " + error] });
});

function startsWith(bytes, signature, offset = 0) {
  return bytes.length >= offset + signature.length && signature.every((byte, i) => bytes[offset + i] === byte);
}

// The format by the file's first bytes, as ingravo chooses its reader.
function desktopFormat(bytes) {
  if (startsWith(bytes, [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a])) {
    return "png";
  }
  if (startsWith(bytes, [0x47, 0x49, 0x46, 0x38])) {
    return "gif";
  }
  if (startsWith(bytes, [0xff, 0xd8, 0xff])) {
    return "jpeg";
  }
  if (startsWith(bytes, [0x52, 0x49, 0x46, 0x46]) && startsWith(bytes, [0x57, 0x45, 0x42, 0x50], 8)) {
    return "webp";
  }
  return null;
}

function refusalCode(library, format) {
  const constants = library.pageConstants();
  if (format === "jpeg") {
    return constants.invalidJpeg;
  }
  return format === "webp" ? constants.invalidWebp : constants.invalidPng;
}

function refused(library, format, code, line) {
  return { code, error: library.errorMessage(code), lines: format + " file refused: " + line + "\n" };
}

// The picture in 8-bit sRGB, turned as its EXIF orientation says; null when
// the browser cannot decode it. The canvas keeps its pixels premultiplied, so
// asking the bitmap for straight alpha would only make decoding slower.
async function decode(file) {
  let bitmap;
  try {
    bitmap = await createImageBitmap(file, { imageOrientation: "from-image" });
  } catch (error) {
    return null;
  }
  const { width, height } = bitmap;
  if (width * height > MAX_DECODED_PIXELS) {
    bitmap.close();
    return { width, height, rgba: null };
  }
  const rgba = (await opaquePixels(bitmap)) || canvasPixels(bitmap);
  bitmap.close();
  return { width, height, rgba };
}

// An opaque picture copied out as it is, without a canvas's two copies; null
// when the browser cannot, or the picture has alpha.
async function opaquePixels(bitmap) {
  if (typeof VideoFrame !== "function") {
    return null;
  }
  let frame = null;
  try {
    frame = new VideoFrame(bitmap, { timestamp: 0 });
    if (frame.format !== "BGRX" && frame.format !== "RGBX") {
      return null;
    }
    const rgba = new Uint8Array(bitmap.width * bitmap.height * 4);
    await frame.copyTo(rgba, { format: "RGBA", colorSpace: "srgb" });
    return rgba;
  } catch (error) {
    return null;
  } finally {
    if (frame) {
      frame.close();
    }
  }
}

function canvasPixels(bitmap) {
  const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
  const context = canvas.getContext("2d", { colorSpace: "srgb", willReadFrequently: true });
  context.drawImage(bitmap, 0, 0);
  const pixels = context.getImageData(0, 0, bitmap.width, bitmap.height, { colorSpace: "srgb" });
  return new Uint8Array(pixels.data.buffer);
}

// The browser's share of the latest conversion's time.
let decodingMilliseconds = 0;

async function convertFile(library, file, choices) {
  decodingMilliseconds = 0;
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch (error) {
    // A file gone or unreadable since it was chosen.
    const code = library.pageConstants().read;
    return { code, error: library.errorMessage(code), lines: "" };
  }
  if (library.c64PictureFormat(file.name) >= 0) {
    return library.renderC64Picture(bytes, file.name, choices.palette);
  }
  const format = desktopFormat(bytes);
  if (format === null) {
    return library.convertPcxFile(bytes, choices);
  }
  const decodingStarted = performance.now();
  const picture = await decode(file);
  decodingMilliseconds = performance.now() - decodingStarted;
  const code = refusalCode(library, format);
  if (picture === null) {
    return refused(library, format, code, "the browser cannot decode it");
  }
  if (picture.rgba === null) {
    return refused(library, format, code, picture.width + " x " + picture.height + " pixels, more than the page holds");
  }
  return library.convertDecodedPicture(picture.rgba, picture.width, picture.height, format, code, choices);
}

onmessage = async (event) => {
  const { run, file, choices } = event.data;
  const started = performance.now();
  let library;
  try {
    library = await modulePromise;
  } catch (error) {
    return;  // already reported as fatal
  }
  let result;
  let trapped = false;
  try {
    result = await convertFile(library, file, choices);
  } catch (error) {
    // A trap or an abort (out of memory, above all) leaves the module
    // unusable: the allocation error, with what stopped it.
    trapped = true;
    const text = String(error && error.message ? error.message : error);
    result = { code: -1, error: allocationMessage, lines: "the conversion stopped: " + text + "\n" };
  }
  const transfer = result.code >= 0 ? [result.picture.buffer, result.program.buffer, result.screen.buffer] : [];
  postMessage({ kind: "result", run, result, trapped, milliseconds: performance.now() - started, decodingMilliseconds },
              transfer);
};
