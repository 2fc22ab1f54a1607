// Loads tilvane-pack's JSON hash and JSON array with PixiJS's own Spritesheet
// parser and checks every texture against the plain JSON file of the same
// build: the rectangle in the atlas, the trim and the source size.
// Usage: node pixi_spritesheet_check.mjs PLAIN.json HASH.json ARRAY.json ATLAS_W ATLAS_H
//
// With --pixels it loads a JSON hash (one with turned frames) and samples,
// for every pixel of every PNG sprite's texture, the atlas where PixiJS's own
// texture coordinates (its frame, trim and rotate) put it; each must be the
// source's pixel, and some frame must be turned.
// Usage: node pixi_spritesheet_check.mjs --pixels HASH.json ATLAS.png SOURCE_DIR
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';

// PixiJS asks the browser's navigator at import time; Node 20 has none.
globalThis.navigator ??= { userAgent: 'node' };
const { Spritesheet, Texture, TextureSource } = await import('pixi.js');

if (process.argv[2] === '--pixels') {
  await checkPixels(...process.argv.slice(3, 6));
  process.exit(0);
}

// An image's RGBA bytes, decoded by ImageMagick (not by us).
function rgbaOf(file) {
  const [w, h] = execFileSync('/usr/bin/identify', ['-format', '%w %h', `${file}[0]`])
    .toString().trim().split(' ').map(Number);
  const data = execFileSync('/usr/bin/convert', [`${file}[0]`, '-depth', '8', 'rgba:-'],
    { maxBuffer: 4 * w * h + 1024 });
  return { w, h, data };
}

async function checkPixels(hashFile, atlasFile, sourceDir) {
  const data = JSON.parse(readFileSync(hashFile, 'utf8'));
  const atlas = rgbaOf(atlasFile);
  const texture = new Texture({ source: new TextureSource({ width: atlas.w, height: atlas.h }) });
  const sheet = new Spritesheet(texture, data);
  await sheet.parse();
  let turned = 0, checked = 0;
  const wrong = [];
  for (const [key, t] of Object.entries(sheet.textures)) {
    if (data.frames[key].rotated) ++turned;
    if (!key.endsWith('.png')) continue;
    const source = rgbaOf(`${sourceDir}/${key}`);
    t.updateUvs();
    const { x0, y0, x1, y1, x3, y3 } = t.uvs;
    // The quad PixiJS draws covers the trim (the whole image when untrimmed),
    // its corners sampling uvs 0 (top left), 1 (top right) and 3 (bottom left).
    const trim = t.trim ?? { x: 0, y: 0, width: t.orig.width, height: t.orig.height };
    for (let v = 0; v < trim.height && wrong.length < 8; ++v) {
      for (let u = 0; u < trim.width; ++u) {
        const s = (u + 0.5) / trim.width, r = (v + 0.5) / trim.height;
        const ax = Math.floor((x0 + s * (x1 - x0) + r * (x3 - x0)) * atlas.w);
        const ay = Math.floor((y0 + s * (y1 - y0) + r * (y3 - y0)) * atlas.h);
        const a = 4 * (ay * atlas.w + ax), b = 4 * ((trim.y + v) * source.w + trim.x + u);
        const alpha = source.data[b + 3];
        const same = atlas.data[a + 3] === alpha &&
          (alpha === 0 || [0, 1, 2].every((c) => atlas.data[a + c] === source.data[b + c]));
        ++checked;
        if (!same) wrong.push(`${key} (${u}, ${v}) drawn from atlas (${ax}, ${ay})`);
      }
    }
  }
  for (const w of wrong) console.log(`wrong pixel: ${w}`);
  console.log(`${checked} pixels checked, ${turned} frames turned, ${wrong.length} wrong`);
  if (wrong.length > 0 || turned === 0 || checked === 0) process.exit(1);
}

const [plain, hash, array] = process.argv.slice(2, 5).map((f) => JSON.parse(readFileSync(f, 'utf8')));
const [atlasW, atlasH] = process.argv.slice(5, 7).map(Number);
const byId = new Map(plain.map((e) => [e.id, e]));
// The plain file's id for a key: the path's "/" as "_", cut at the first
// dot, every other non-alphanumeric character as "_".
const idOf = (key) => key.replaceAll('/', '_').split('.')[0].replace(/[^A-Za-z0-9]/g, '_');

let passed = 0;
const failures = [];
const expect = (what, actual, wanted) => {
  const a = JSON.stringify(actual);
  const w = JSON.stringify(wanted);
  if (a === w) ++passed;
  else failures.push(`${what}: got ${a}, expected ${w}`);
};
const rect = (r) => r && { x: r.x, y: r.y, w: r.width, h: r.height };

async function load(data) {
  // No GPU and no image decoding: a texture source of the atlas's size is all the parser needs.
  const texture = new Texture({ source: new TextureSource({ width: atlasW, height: atlasH }) });
  const sheet = new Spritesheet(texture, data);
  await sheet.parse();
  return sheet.textures;
}

function check(label, texture, entry) {
  if (!entry) {
    failures.push(`${label}: no entry in the plain file`);
    return;
  }
  const r = entry.sourceRect;
  const trimmed = entry.size.width !== entry.originalSize.width || entry.size.height !== entry.originalSize.height;
  expect(`${label} frame`, rect(texture.frame), { x: r.x, y: r.y, w: r.width, h: r.height });
  expect(`${label} orig`, rect(texture.orig), { x: 0, y: 0, w: entry.originalSize.width, h: entry.originalSize.height });
  expect(`${label} trim`, rect(texture.trim), trimmed
    ? { x: entry.drawOffset.x, y: entry.drawOffset.y, w: entry.size.width, h: entry.size.height }
    : null);
}

for (const data of [hash, array]) expect('meta.size', data.meta.size, { w: atlasW, h: atlasH });

const hashTextures = await load(hash);
expect('hash frame count', Object.keys(hashTextures).length, plain.length);
for (const [key, texture] of Object.entries(hashTextures)) check(`hash "${key}"`, texture, byId.get(idOf(key)));

// PixiJS keys array frames by position; the array keeps placement order.
const arrayTextures = await load(array);
expect('array frame count', Object.keys(arrayTextures).length, plain.length);
array.frames.forEach((frame, i) => check(`array "${frame.filename}"`, arrayTextures[i], byId.get(idOf(frame.filename))));

for (const f of failures) console.log(f);
console.log(`${passed} passed, ${failures.length} failed`);
process.exit(failures.length === 0 && passed > 0 ? 0 : 1);
