// Loads tilvane-pack's engine files with each engine's own reader, in Node:
// PixiJS's Spritesheet (JSON hash and array: frames, anchor, borders,
// animations), Phaser 3's JSONHash, multi-atlas (JSONArray per texture) and
// AtlasXML parsers (frames, pivot, nine-slice), and spine-core's TextureAtlas
// for the libGDX atlas (index, split, pad). Every frame, taken as its reader
// defines it, must show the source image's pixels in the decoded atlas, and
// nothing but transparent pixels where the reader says the source was trimmed.
// Usage: node engine_readers_check.mjs WORK (see run_engine_readers.sh)
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';

const work = process.argv[2];
const require = createRequire(import.meta.url);
// PixiJS asks the browser's navigator at import time; Node 20 has none.
globalThis.navigator ??= { userAgent: 'node' };
const { Spritesheet, Texture, TextureSource } = await import('pixi.js');
const Frame = require('phaser/src/textures/Frame.js');
const PhaserParser = {
  JSONHash: require('phaser/src/textures/parsers/JSONHash.js'),
  JSONArray: require('phaser/src/textures/parsers/JSONArray.js'),
  AtlasXML: require('phaser/src/textures/parsers/AtlasXML.js'),
};
const { DOMParser } = require('@xmldom/xmldom');
const { TextureAtlas } = await import('@esotericsoftware/spine-core');

let passed = 0;
const failures = [];
const expect = (what, actual, wanted) => {
  const a = JSON.stringify(actual);
  const w = JSON.stringify(wanted);
  if (a === w) ++passed;
  else failures.push(`${what}: got ${a}, expected ${w}`);
};

// ---- What was packed: the sources' pixels, and what the options gave them.

const manifest = JSON.parse(readFileSync(join(work, 'raw/manifest.json'), 'utf8'));
const sources = new Map();
for (const [name, s] of Object.entries(manifest)) {
  sources.set(name, { w: s.w, h: s.h, rgba: readFileSync(s.raw) });
}
const spriteData = JSON.parse(readFileSync(join(work, 'sprite-data.json'), 'utf8'));
const defaultPivot = { x: 0.5, y: 1 };
const pivotOf = (name) => {
  const p = spriteData[name]?.pivot;
  return p ? { x: p[0], y: p[1] } : defaultPivot;
};
const bordersOf = (name) => spriteData[name]?.borders;
// The animations of the fixture, in the order their frames' numbers give.
const animations = {
  'jump': ['jump-1.png', 'jump-2.png'],
  'sub/coin': ['sub/coin_1.png', 'sub/coin_2.png'],
  'walk': ['walk_01.png', 'walk_02.png', 'walk_10.png'],
};

// An atlas page as `convert PAGE rgba:PAGE.rgba` decoded it.
const pages = new Map();
function page(image, w, h) {
  if (!pages.has(image)) pages.set(image, { w, h, rgba: readFileSync(join(work, 'out', image + '.rgba')) });
  return pages.get(image);
}
const at = (img, x, y) => img.rgba.readUInt32BE((y * img.w + x) * 4);

// The source's pixels against the atlas: `cut` (x, y in the page, w, h
// upright) shows the source from (ox, oy) on, upright, or its block holds it
// turned (turn 1 clockwise, -1 counter-clockwise); every other source pixel
// must be transparent.
let turned = 0;
function comparePixels(label, name, img, cut, ox, oy, turn = 0) {
  if (turn) ++turned;
  const atlasAt = (u, v) => (turn === 0 ? at(img, cut.x + u, cut.y + v)
    : turn === 1 ? at(img, cut.x + cut.h - 1 - v, cut.y + u)
      : at(img, cut.x + v, cut.y + cut.w - 1 - u));
  const src = sources.get(name);
  if (!src) return failures.push(`${label}: no source named ${JSON.stringify(name)}`);
  let wrong = 0;
  for (let y = 0; y < src.h; ++y) {
    for (let x = 0; x < src.w; ++x) {
      const inside = x >= ox && y >= oy && x < ox + cut.w && y < oy + cut.h;
      const want = at(src, x, y);
      const got = inside ? atlasAt(x - ox, y - oy) : 0;
      if (inside ? got !== want : (want & 0xff) !== 0) ++wrong;
    }
  }
  expect(`${label} pixels wrong`, wrong, 0);
  expect(`${label} cut inside the source`, ox + cut.w <= src.w && oy + cut.h <= src.h, true);
}

// The borders within the frame: each less the margin trimmed on its side.
function bordersInFrame(b, ox, oy, w, h, name) {
  const src = sources.get(name);
  const less = (v, m) => Math.max(0, v - m);
  return [less(b[0], ox), less(b[1], oy), less(b[2], src.w - ox - w), less(b[3], src.h - oy - h)];
}

// ---- PixiJS: the JSON hash and array.

async function pixi(file, hash) {
  const data = JSON.parse(readFileSync(join(work, 'out', file), 'utf8'));
  const img = page(data.meta.image, data.meta.size.w, data.meta.size.h);
  const texture = new Texture({ source: new TextureSource({ width: img.w, height: img.h }) });
  const sheet = new Spritesheet(texture, data);
  await sheet.parse();
  // PixiJS keys an array's frames by position.
  const names = hash ? Object.keys(sheet.textures) : data.frames.map((f) => f.filename);
  expect(`pixi ${file} frame count`, names.length, sources.size);
  names.forEach((name, i) => {
    const t = sheet.textures[hash ? name : i];
    const label = `pixi ${file} "${name}"`;
    const trim = t.trim ?? { x: 0, y: 0 };
    // A turned texture's frame is its block, h x w.
    const turn = t.rotate === 2 ? 1 : 0;
    const [w, h] = turn ? [t.frame.height, t.frame.width] : [t.frame.width, t.frame.height];
    comparePixels(label, name, img, { x: t.frame.x, y: t.frame.y, w, h }, trim.x, trim.y, turn);
    expect(`${label} orig`, [t.orig.width, t.orig.height], [sources.get(name)?.w, sources.get(name)?.h]);
    expect(`${label} anchor`, t.defaultAnchor, pivotOf(name));
    const b = bordersOf(name);
    expect(`${label} borders`, t.defaultBorders, b && { left: b[0], top: b[1], right: b[2], bottom: b[3] });
  });
  // Each animation's textures, in order, are its frames'. PixiJS finds them
  // by key, which an array's frames have not: there the names are checked.
  if (!hash) return expect(`${file} animations by name`, data.animations, animations);
  const got = {};
  for (const [name, textures] of Object.entries(sheet.animations)) {
    got[name] = textures.map((t) => names.find((n) => sheet.textures[n] === t));
  }
  expect(`pixi ${file} animations`, got, animations);
}

// ---- Phaser: a Texture as its parsers use it, with Phaser's own Frame.

function phaserTexture(sizes) {
  return {
    source: sizes.map(([width, height]) => ({ width, height })),
    frames: {},
    customData: {},
    add(name, sourceIndex, x, y, w, h) {
      if (this.frames[name]) return null;
      return (this.frames[name] = new Frame(this, name, sourceIndex, x, y, w, h));
    },
  };
}

function checkPhaserFrames(label, texture, images, xml) {
  const names = Object.keys(texture.frames).filter((n) => n !== '__BASE');
  expect(`${label} frame count`, names.length, sources.size);
  for (const name of names) {
    const f = texture.frames[name];
    const l = `${label} "${name}"`;
    const ss = f.data.trim ? f.data.spriteSourceSize : { x: 0, y: 0 };
    // Phaser's XML parser reads no rotation: a turned SubTexture's region is
    // its block, the image turned clockwise, as Starling reads it.
    if (xml && xmlRotated.has(name)) {
      comparePixels(l, name, images[f.sourceIndex], { x: f.cutX, y: f.cutY, w: f.cutHeight, h: f.cutWidth },
        ss.x, ss.y, 1);
      continue;
    }
    comparePixels(l, name, images[f.sourceIndex], { x: f.cutX, y: f.cutY, w: f.cutWidth, h: f.cutHeight },
      ss.x, ss.y, f.rotated ? 1 : 0);
    // The XML parser reads no pivot and no nine-slice.
    if (xml) continue;
    expect(`${l} real size`, [f.realWidth, f.realHeight], [sources.get(name)?.w, sources.get(name)?.h]);
    expect(`${l} pivot`, f.customPivot && { x: f.pivotX, y: f.pivotY }, pivotOf(name));
    const b = bordersOf(name);
    const inFrame = b && bordersInFrame(b, ss.x, ss.y, f.cutWidth, f.cutHeight, name);
    expect(`${l} nine-slice`, f.data.scale9 ? f.data.scale9Borders : undefined, inFrame && {
      x: inFrame[0], y: inFrame[1],
      w: f.cutWidth - inFrame[0] - inFrame[2], h: f.cutHeight - inFrame[1] - inFrame[3],
    });
  }
}

function phaserHash(file) {
  const data = JSON.parse(readFileSync(join(work, 'out', file), 'utf8'));
  const img = page(data.meta.image, data.meta.size.w, data.meta.size.h);
  const texture = phaserTexture([[img.w, img.h]]);
  PhaserParser.JSONHash(texture, 0, data);
  checkPhaserFrames(`phaser hash ${file}`, texture, [img], false);
}

function phaserMulti(file) {
  const data = JSON.parse(readFileSync(join(work, 'out', file), 'utf8'));
  expect(`${file} is several pages`, data.textures.length > 1, true);
  const images = data.textures.map((t) => page(t.image, t.size.w, t.size.h));
  const texture = phaserTexture(images.map((i) => [i.w, i.h]));
  // As TextureManager.addAtlasJSONArray hands the loaded entries over.
  images.forEach((_, i) => PhaserParser.JSONArray(texture, i, data.textures[i]));
  checkPhaserFrames(`phaser multi ${file}`, texture, images, false);
}

// The SubTextures a Starling file says are turned; Phaser's parser ignores it.
const xmlRotated = new Set();
function phaserXml(file, w, h) {
  const doc = new DOMParser().parseFromString(readFileSync(join(work, 'out', file), 'utf8'), 'text/xml');
  for (const e of Array.from(doc.getElementsByTagName('SubTexture'))) {
    if (e.getAttribute('rotated') === 'true') xmlRotated.add(e.getAttribute('name'));
  }
  // The browser's DOM gives attributes by name; xmldom's needs asking.
  const xml = {
    getElementsByTagName: (tag) => Array.from(doc.getElementsByTagName(tag)).map((e) => ({
      attributes: new Proxy({}, { get: (_, k) => (e.hasAttribute(k) ? { value: e.getAttribute(k) } : undefined) }),
    })),
  };
  const image = doc.documentElement.getAttribute('imagePath');
  const img = page(image, w, h);
  const texture = phaserTexture([[img.w, img.h]]);
  PhaserParser.AtlasXML(texture, 0, xml);
  checkPhaserFrames(`phaser xml ${file}`, texture, [img], true);
}

// ---- spine-core: the libGDX atlas.

function spine(file) {
  const atlas = new TextureAtlas(readFileSync(join(work, 'out', file), 'utf8'));
  expect(`spine ${file} pages`, atlas.pages.length, 1);
  const p = atlas.pages[0];
  const img = page(p.name, p.width, p.height);
  // The region each source becomes: a frame of an animation its animation's
  // name and number, any other its name without the extension, index -1.
  const byRegion = new Map();
  for (const name of sources.keys()) {
    const anim = Object.entries(animations).find(([, frames]) => frames.includes(name));
    const key = anim ? `${anim[0]}#${parseInt(name.match(/(\d+)\.png$/)[1], 10)}` : `${name.replace(/\.png$/, '')}#-1`;
    byRegion.set(key, name);
  }
  expect(`spine ${file} region count`, atlas.regions.length, sources.size);
  for (const r of atlas.regions) {
    const name = byRegion.get(`${r.name}#${r.index}`);
    const l = `spine ${file} "${r.name}" index ${r.index}`;
    if (!name) {
      failures.push(`${l}: names no source`);
      continue;
    }
    // libGDX counts the offset from the bottom of the source.
    const oy = r.originalHeight - r.offsetY - r.height;
    // libGDX reads a turned region counter-clockwise.
    comparePixels(l, name, img, { x: r.x, y: r.y, w: r.width, h: r.height }, r.offsetX, oy,
      r.degrees === 90 ? -1 : 0);
    expect(`${l} orig`, [r.originalWidth, r.originalHeight], [sources.get(name).w, sources.get(name).h]);
    const b = bordersOf(name);
    const values = {};
    (r.names ?? []).forEach((key, i) => { values[key] = r.values[i]; });
    const inFrame = b && bordersInFrame(b, r.offsetX, oy, r.width, r.height, name);
    // split and pad: left, right, top, bottom.
    const lrtb = inFrame && [inFrame[0], inFrame[2], inFrame[1], inFrame[3]];
    expect(`${l} split and pad`, values, lrtb ? { split: lrtb, pad: lrtb } : {});
  }
}

// Upright, then (the files named turned-*) with the maxrects packer turning
// what only fits turned.
for (const prefix of ['', 'turned-']) {
  turned = 0;
  await pixi(prefix + 'hash.json', true);
  if (!prefix) await pixi('array.json', false);
  phaserHash(prefix + 'hash.json');
  phaserMulti(prefix + 'multi.json');
  phaserXml(prefix + 'starling.xml', JSON.parse(readFileSync(join(work, 'out', prefix + 'hash.json'))).meta.size.w,
    JSON.parse(readFileSync(join(work, 'out', prefix + 'hash.json'))).meta.size.h);
  spine(prefix + 'gdx.atlas');
  expect(`${prefix || 'upright '}frames turned`, turned > 0, prefix !== '');
}

for (const f of failures) console.log(f);
console.log(`${passed} passed, ${failures.length} failed`);
process.exit(failures.length === 0 && passed > 0 ? 0 : 1);
