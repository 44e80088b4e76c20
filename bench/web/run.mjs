// Playback benchmark of the web page in Debian's headless Chromium. For each file it plays
// the page's command line to its end and prints one row:
//   drawn/s       frames the viewer drew (bitmaps presented to the canvas) per second, from
//                 the first frame to the end of the run
//   composited/s  animation frames of the browser that followed a change of the canvas
//   main ms/f     main-thread task time (Chromium's Performance.getMetrics TaskDuration)
//                 from the first frame to the end, per frame drawn
//   first s       from starting the run to the first frame drawn
//   wasm MB, JS MB   the module's memory and the page's JavaScript heap at the end
//   Usage: node bench/web/run.mjs WEB_DIR FILE:ARGS... (a file opened by the picker when
//   ARGS starts with "pick")
import path from 'node:path';
import {close, launch, serve} from '../../tests/web/web_support.mjs';

const [webDir, ...runs] = process.argv.slice(2);
const {server, origin} = await serve(webDir, '/');
const browser = await launch();

async function metric(cdp, name) {
  const {metrics} = await cdp.send('Performance.getMetrics');
  return metrics.find((m) => m.name === name).value;
}

console.log('| run | frames | drawn/s | composited/s | main ms/f | first s | wasm MB | JS MB |');
console.log('|---|---|---|---|---|---|---|---|');
for (const run of runs) {
  const [file, argText = '', seconds] = run.split(':');
  const pick = argText.startsWith('pick');
  const args = argText.replace(/^pick\s*/, '').trim().split(/\s+/).filter(Boolean);
  const page = await browser.newPage();
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Performance.enable');
  const query = `args=${args.join('+')}` + (pick ? '' : `&file=files${encodeURI(path.resolve(file))}`);
  await page.goto(`${origin}/index.html?${query}`);
  if (pick) {
    const chooser = page.locator('dialog.chooser[open]');
    await chooser.locator('input[type=file]').setInputFiles(file);
    await chooser.locator('button', {hasText: 'OK'}).click();
  }
  await page.waitForFunction(() => kinaroStats.frames > 0, null, {timeout: 120000, polling: 5});
  const taskAtFirst = await metric(cdp, 'TaskDuration');
  const framesAtFirst = await page.evaluate(() => kinaroStats.frames);
  // A run without an end of its own (no -loop) is ended with Q after `seconds`.
  if (seconds) {
    await page.waitForTimeout(Number(seconds) * 1000);
    await page.keyboard.press('q');
  }
  await page.locator('#end:not([hidden])').waitFor({timeout: 600000});
  const task = await metric(cdp, 'TaskDuration') - taskAtFirst;
  const s = await page.evaluate(() => ({...kinaroStats, wasm: run.module.HEAPU8.length}));
  const heap = await metric(cdp, 'JSHeapUsedSize');
  const span = (s.ended - s.firstFrame) / 1000, frames = s.frames - framesAtFirst;
  console.log(`| ${path.basename(file)} ${argText} | ${s.frames} | ${(s.frames / span).toFixed(0)} | ` +
              `${(s.composited / span).toFixed(0)} | ${(task * 1000 / frames).toFixed(3)} | ` +
              `${((s.firstFrame - s.started) / 1000).toFixed(2)} | ${(s.wasm / 2 ** 20).toFixed(0)} | ` +
              `${(heap / 2 ** 20).toFixed(0)} |`);
  await page.close();
}
await close(browser);
server.close();
