// Loads tilvane-pack's JSON hash and JSON array with PixiJS's own Spritesheet
// parser and checks every texture against the plain JSON file of the same
// build: the rectangle in the atlas, the trim and the source size.
// Usage: node pixi_spritesheet_check.mjs PLAIN.json HASH.json ARRAY.json ATLAS_W ATLAS_H
import { readFileSync } from 'node:fs';

// PixiJS asks the browser's navigator at import time; Node 20 has none.
globalThis.navigator ??= { userAgent: 'node' };
const { Spritesheet, Texture, TextureSource } = await import('pixi.js');

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
