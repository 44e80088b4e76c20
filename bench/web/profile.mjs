// Where the page's time goes in one run, for finding what to cut (not a benchmark: the
// profiler slows what it watches). With Chromium's sampling profiler (CDP Profiler): self
// time by function, JavaScript and wasm (names need a module linked with --profiling-funcs),
// largest first. With TRACE=1, from Chromium's trace (CDP Tracing) instead: time by trace
// event and thread, which shows the browser's own work (putImageData's WritePixels, the
// canvas snapshot each composited frame takes, the rendering).
//   Usage: [TRACE=1] node bench/web/profile.mjs WEB_DIR FILE ARGS...
import path from 'node:path';
import {close, launch, serve} from '../../tests/web/web_support.mjs';

const [webDir, file, ...args] = process.argv.slice(2);
const {server, origin} = await serve(webDir, '/');
const browser = await launch();
const page = await browser.newPage();
const cdp = await page.context().newCDPSession(page);
const events = [];
const total = new Map();  // what -> [microseconds, count]
const add = (what, us) => {
  const t = total.get(what) || [0, 0];
  t[0] += us;
  t[1]++;
  total.set(what, t);
};
let traced;
if (process.env.TRACE) {
  cdp.on('Tracing.dataCollected', (e) => events.push(...e.value));
  traced = new Promise((resolve) => cdp.once('Tracing.tracingComplete', resolve));
  await cdp.send('Tracing.start', {transferMode: 'ReportEvents',
    traceConfig: {includedCategories: ['toplevel', 'devtools.timeline', 'blink', 'cc', 'v8']}});
} else {
  await cdp.send('Profiler.enable');
  await cdp.send('Profiler.setSamplingInterval', {interval: 100});
  await cdp.send('Profiler.start');
}
await page.goto(`${origin}/index.html?args=${args.join('+')}&file=files${encodeURI(path.resolve(file))}`);
await page.locator('#end:not([hidden])').waitFor({timeout: 600000});
if (traced) {
  await cdp.send('Tracing.end');
  await traced;
  const threads = new Map();
  for (const e of events)
    if (e.ph === 'M' && e.name === 'thread_name') threads.set(`${e.pid}:${e.tid}`, e.args.name);
  for (const e of events)
    if (e.ph === 'X' && e.dur) add(`${threads.get(`${e.pid}:${e.tid}`) || '?'} | ${e.name}`, e.dur);
} else {
  const {profile} = await cdp.send('Profiler.stop');
  const nodes = new Map(profile.nodes.map((n) => [n.id, n.callFrame]));
  profile.samples.forEach((id, i) => {
    const f = nodes.get(id);
    add(`${f.functionName || '(anonymous)'} ${path.basename(f.url)}`, profile.timeDeltas[i + 1] || 0);
  });
}
const s = await page.evaluate(() => kinaroStats);
console.log(`${s.frames} frames in ${((s.ended - s.firstFrame) / 1000).toFixed(2)} s (whole run profiled)`);
console.log('    ms total   count   µs/frame  what');
for (const [what, [us, count]] of [...total].sort((a, b) => b[1][0] - a[1][0]).slice(0, Number(process.env.TOP || 30)))
  console.log(`${(us / 1000).toFixed(1).padStart(12)} ${String(count).padStart(7)} ${(us / s.frames).toFixed(1).padStart(10)}  ${what}`);
await page.close();
await close(browser);
server.close();
