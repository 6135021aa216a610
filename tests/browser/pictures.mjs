// The browser test's pictures: a photo-like picture made here, and the PNG
// coding it needs (8-bit RGB written without colour chunks; 8-bit RGB and
// palette pictures of any depth read back, as exgravo and the page write).
import zlib from "node:zlib";

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k += 1) {
    c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  }
  return c >>> 0;
});

function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) {
    c = CRC_TABLE[(c ^ byte) & 0xff] ^ (c >>> 8);
  }
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, "latin1");
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
  return Buffer.concat([head, data, crc]);
}

// {width, height, rgb} (or rgba) to an 8-bit PNG of IHDR, IDAT and IEND alone.
export function encodePng({ width, height, rgb, rgba }) {
  const samples = rgba || rgb;
  const channels = rgba ? 4 : 3;
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = 8;
  header[9] = rgba ? 6 : 2;
  const stride = width * channels;
  const raw = Buffer.alloc((stride + 1) * height);
  for (let y = 0; y < height; y += 1) {
    samples.copy(raw, y * (stride + 1) + 1, y * stride, (y + 1) * stride);
  }
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk("IHDR", header),
                        chunk("IDAT", zlib.deflateSync(raw)), chunk("IEND", Buffer.alloc(0))]);
}

// A PNG that claims 60000 x 60000 pixels and holds a few: it asks a reader
// for gigabytes.
export function encodeHugeClaim() {
  const small = encodePng({ width: 2, height: 2, rgb: Buffer.alloc(12, 0x80) });
  small.writeUInt32BE(60000, 16);
  small.writeUInt32BE(60000, 20);
  // The header's checksum, as a reader checks it.
  small.writeUInt32BE(crc32(small.subarray(12, 29)), 29);
  return small;
}

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a);
  const pb = Math.abs(p - b);
  const pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// A non-interlaced 8-bit RGB or RGBA, or palette PNG of 1 to 8 bits, to
// {width, height, rgb}.
export function decodePng(png) {
  let at = 8;
  let header = null;
  let palette = null;
  const data = [];
  while (at < png.length) {
    const length = png.readUInt32BE(at);
    const type = png.toString("latin1", at + 4, at + 8);
    const body = png.subarray(at + 8, at + 8 + length);
    if (type === "IHDR") {
      header = { width: body.readUInt32BE(0), height: body.readUInt32BE(4), depth: body[8], colourType: body[9],
                 interlace: body[12] };
    } else if (type === "PLTE") {
      palette = body;
    } else if (type === "IDAT") {
      data.push(body);
    }
    at += 12 + length;
  }
  const { width, height, depth, colourType } = header;
  if (header.interlace !== 0 || ![2, 3, 6].includes(colourType) || (colourType !== 3 && depth !== 8)) {
    throw new Error("a PNG kind this test does not read");
  }
  const channels = colourType === 2 ? 3 : colourType === 6 ? 4 : 1;
  const bitsPerPixel = channels * depth;
  const stride = Math.ceil((width * bitsPerPixel) / 8);
  const step = Math.max(1, bitsPerPixel / 8);
  const raw = zlib.inflateSync(Buffer.concat(data));
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y += 1) {
    const filter = raw[y * (stride + 1)];
    for (let x = 0; x < stride; x += 1) {
      const value = raw[y * (stride + 1) + 1 + x];
      const left = x >= step ? rows[y * stride + x - step] : 0;
      const up = y > 0 ? rows[(y - 1) * stride + x] : 0;
      const corner = x >= step && y > 0 ? rows[(y - 1) * stride + x - step] : 0;
      const predicted = [0, left, up, (left + up) >> 1, paeth(left, up, corner)][filter];
      rows[y * stride + x] = (value + predicted) & 0xff;
    }
  }
  const rgb = Buffer.alloc(width * height * 3);
  for (let y = 0; y < height; y += 1) {
    for (let x = 0; x < width; x += 1) {
      if (colourType === 3) {
        const bit = x * depth;
        const entry = (rows[y * stride + (bit >> 3)] >> (8 - depth - (bit & 7))) & ((1 << depth) - 1);
        palette.copy(rgb, (y * width + x) * 3, entry * 3, entry * 3 + 3);
      } else {
        rows.copy(rgb, (y * width + x) * 3, y * stride + x * channels, y * stride + x * channels + 3);
      }
    }
  }
  return { width, height, rgb };
}

// A sunset of smooth skies, a sun, hills with texture and a little noise:
// the kind of picture every dither and mode treats differently.
export function makePhoto(width, height) {
  const rgb = Buffer.alloc(width * height * 3);
  let seed = 12345;
  const noise = () => {
    seed = (seed * 1103515245 + 12345) >>> 0;
    return ((seed >>> 16) & 0xff) / 255 - 0.5;
  };
  for (let y = 0; y < height; y += 1) {
    for (let x = 0; x < width; x += 1) {
      const u = x / width;
      const v = y / height;
      let colour = [40 + 200 * v, 60 + 120 * v, 200 - 120 * v];
      const sun = Math.hypot(u - 0.65, v - 0.35) * 8;
      if (sun < 1) {
        colour = [255, 230 - 60 * sun, 120 - 80 * sun];
      }
      const hill = 0.6 + 0.08 * Math.sin(u * 9) + 0.04 * Math.sin(u * 23 + 1);
      if (v > hill) {
        const texture = 0.5 + 0.5 * Math.sin(x * 0.7) * Math.sin(y * 0.5);
        colour = [30 + 60 * texture, 90 + 80 * (v - hill) * 3, 30 + 20 * texture];
      }
      for (let c = 0; c < 3; c += 1) {
        rgb[(y * width + x) * 3 + c] = Math.max(0, Math.min(255, Math.round(colour[c] + 12 * noise())));
      }
    }
  }
  return { width, height, rgb };
}

// A logo: the photo inside a ring, the rest fully transparent.
export function makeLogo(width, height) {
  const { rgb } = makePhoto(width, height);
  const rgba = Buffer.alloc(width * height * 4);
  for (let y = 0; y < height; y += 1) {
    for (let x = 0; x < width; x += 1) {
      const i = y * width + x;
      const r = Math.hypot(x - width / 2, y - height / 2) / (Math.min(width, height) / 2);
      rgb.copy(rgba, i * 4, i * 3, i * 3 + 3);
      rgba[i * 4 + 3] = r > 0.45 && r < 0.95 ? 255 : 0;
    }
  }
  return { width, height, rgba };
}
