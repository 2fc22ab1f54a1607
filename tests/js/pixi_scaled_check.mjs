// Loads a scaled variant of tilvane-pack's JSON hash with PixiJS's own
// Spritesheet parser and checks what it reads: the resolution is meta.scale,
// each texture's size in points is the source art's (within a pixel of the
// rounding), and each frame, cut from the atlas where PixiJS says it lies and
// set at its trim offset, shows the source as ImageMagick resamples it (a
// resampler of its own, so within a tolerance rather than exactly; at scale
// 1, the source exactly).
// Usage: node pixi_scaled_check.mjs VARIANT.json SCALE INPUT_FOLDER
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';

globalThis.navigator ??= { userAgent: 'node' };
const { Spritesheet, Texture, TextureSource } = await import('pixi.js');

const [file, scaleText, input] = process.argv.slice(2, 5);
const scale = Number(scaleText);
const data = JSON.parse(readFileSync(file, 'utf8'));
// The root mean square difference of premultiplied channels (of 255) a
// frame may show: none at scale 1, where the pixels are the source's own.
// Two resamplers differ by about 2 to 7 on the example sprites; a frame one
// pixel off differs by 20 or more.
const tolerance = scale === 1 ? 0 : 12;

let passed = 0;
const failures = [];
const expect = (what, ok, detail) => (ok ? ++passed : failures.push(`${what}: ${detail}`));

// The picture's RGBA bytes, as ImageMagick reads it (resized to w x h when given).
const rgba = (path, w, h) =>
  execFileSync('/usr/bin/convert', [path, ...(w ? ['-filter', 'Mitchell', '-resize', `${w}x${h}!`] : []), 'rgba:-'], {
    maxBuffer: 1 << 28,
  });
const sizeOf = (path) => execFileSync('/usr/bin/identify', ['-format', '%w %h', path]).toString().split(' ').map(Number);

const { w: atlasW, h: atlasH } = data.meta.size;
const atlas = rgba(join(dirname(file), data.meta.image));
const texture = new Texture({ source: new TextureSource({ width: atlasW, height: atlasH }) });
const sheet = new Spritesheet(texture, data);
await sheet.parse();
expect('resolution', sheet.resolution === scale && texture.source.resolution === scale, `${sheet.resolution}, not ${scale}`);
expect('frame count', Object.keys(sheet.textures).length === Object.keys(data.frames).length, 'frames missing');

for (const [key, tex] of Object.entries(sheet.textures)) {
  const [srcW, srcH] = sizeOf(join(input, key));
  // PixiJS's points: the scaled pixels over the resolution.
  expect(`${key} size`, Math.abs(tex.orig.width - srcW) <= 1 / scale && Math.abs(tex.orig.height - srcH) <= 1 / scale,
    `${tex.orig.width}x${tex.orig.height} points for ${srcW}x${srcH} pixels`);
  const px = (v) => Math.round(v * scale);
  const frame = { x: px(tex.frame.x), y: px(tex.frame.y), w: px(tex.frame.width), h: px(tex.frame.height) };
  const at = tex.trim ? { x: px(tex.trim.x), y: px(tex.trim.y) } : { x: 0, y: 0 };
  const sw = px(tex.orig.width), sh = px(tex.orig.height);
  // ImageMagick filters even at the same size.
  const want = scale === 1 ? rgba(join(input, key)) : rgba(join(input, key), sw, sh);
  // Every pixel of the scaled picture: inside the frame from the atlas, outside transparent.
  let sum = 0;
  for (let y = 0; y < sh; ++y) {
    for (let x = 0; x < sw; ++x) {
      const fx = x - at.x, fy = y - at.y;
      const inside = fx >= 0 && fy >= 0 && fx < frame.w && fy < frame.h;
      const a = inside ? 4 * ((frame.y + fy) * atlasW + frame.x + fx) : -1;
      const b = 4 * (y * sw + x);
      const gotA = a < 0 ? 0 : atlas[a + 3], wantA = want[b + 3];
      for (let c = 0; c < 3; ++c) sum += (((a < 0 ? 0 : atlas[a + c]) * gotA - want[b + c] * wantA) / 255) ** 2;
      sum += (gotA - wantA) ** 2;
    }
  }
  const rms = Math.sqrt(sum / (4 * sw * sh));
  expect(`${key} pixels`, rms <= tolerance, `differ by ${rms.toFixed(2)} (root mean square)`);
  if (process.env.TILVANE_SHOW_DIFFERENCES) console.log(`${key}: ${rms.toFixed(2)}`);
}

for (const f of failures) console.log(f);
console.log(`${passed} passed, ${failures.length} failed`);
process.exit(failures.length === 0 && passed > 0 ? 0 : 1);
