// The web page in Debian's Chromium, headless: files opened from the address, the picker and
// by dropping; keys, menus and buttons; every frame checked pixel for pixel against what
// rmtool export decodes with the viewer's reader; a damaged file's box; how a run ends.
//   KINARO_WEB_DIR  the built page (build-web/web)
//   KINARO_RMTOOL, KINARO_DEMO  rmtool and the demo generator of a native build
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {chooseFile, close, expectCanvas, launch, readPalettePng, serve} from './web_support.mjs';

const need = (name) => process.env[name] || assert.fail(`${name} is not set`);
const files = fs.mkdtempSync(path.join(os.tmpdir(), 'kinaro-web-'));
const source = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
let server, origin, browser;

// The frames of `file` as the reader decodes them with the viewer's options.
function frames(file, options = []) {
  const dir = fs.mkdtempSync(path.join(files, 'png-'));
  execFileSync(need('KINARO_RMTOOL'), ['export', path.join(files, file), '--png', dir, ...options]);
  return fs.readdirSync(dir).sort().map((name) => readPalettePng(path.join(dir, name)));
}

async function open(address) {
  const page = await browser.newPage();
  page.kinaroErrors = [];
  page.on('pageerror', (error) => page.kinaroErrors.push(error.message));
  await page.goto(`${origin}/${address}`);
  return page;
}

const ending = (page) => page.locator('#ending');

before(async () => {
  execFileSync(need('KINARO_DEMO'), [path.join(files, 'demo.rm'), '--frames', '6', '--size', '160x120']);
  execFileSync(need('KINARO_DEMO'), [path.join(files, 'small.rm'), '--frames', '4', '--size', '72x40']);
  execFileSync(need('KINARO_DEMO'), [path.join(files, 'large.rm'), '--frames', '20', '--size', '1920x1080']);
  // 12 MB: more than the page holds of a file at once, so playing it again seeks back.
  execFileSync(need('KINARO_DEMO'), [path.join(files, 'long.rm'), '--frames', '100', '--size', '1920x1080']);
  fs.copyFileSync(path.join(source, 'tests/rm/crashers/color-flag-2.rm'), path.join(files, 'damaged.rm'));
  ({server, origin} = await serve(need('KINARO_WEB_DIR'), files));
  browser = await launch();
});

after(async () => {
  if (browser) await close(browser);
  server?.close();
  fs.rmSync(files, {recursive: true, force: true});
});

describe('frames', () => {
  for (const [file, options] of [['demo.rm', []], ['demo.rm', ['-g']], ['demo.rm', ['-s']],
                                 ['small.rm', ['-w', '3']]]) {
    test(`${file} ${options.join(' ')}: every frame exactly as the reader decodes it`, async () => {
      const expected = frames(file, options);
      const page = await open(`index.html?file=files/${file}&args=${options.join('+')}`);
      for (let i = 0; i < expected.length; i++) {
        if (i > 0) await page.keyboard.press('+');
        await expectCanvas(page, expected[i], `frame ${i}`);
      }
      await page.keyboard.press('1');
      await expectCanvas(page, expected[0], 'back to frame 0');
      assert.deepEqual(page.kinaroErrors, []);
      await page.close();
    });
  }
});

describe('controls', () => {
  test('keys, the menus with their mnemonics, both buttons and the end of a run', async () => {
    const expected = frames('demo.rm');
    const last = expected[expected.length - 1];
    const page = await open('index.html?file=files/demo.rm');
    await expectCanvas(page, expected[0], 'first frame');
    await page.keyboard.press('f');
    await expectCanvas(page, last, 'F plays to the last frame');
    await page.keyboard.press('-');
    await expectCanvas(page, expected[expected.length - 2], '- steps back');

    await page.locator('#menubar .top', {hasText: 'Step'}).dispatchEvent('mousedown');
    await page.locator('#menubar .item', {hasText: 'To First Frame'}).click();
    await expectCanvas(page, expected[0], 'Step > To First Frame');
    assert.deepEqual(await page.locator('#menubar .item', {hasText: 'Forward One Frame'})
                         .locator('span').allInnerTexts(), ['Forward One Frame', '+']);
    await page.keyboard.press('Alt+s');
    await page.keyboard.press('f');
    await expectCanvas(page, expected[1], 'Alt+S, F: Forward One Frame');

    await page.keyboard.press('Alt+h');
    await page.keyboard.press('a');
    const box = page.locator('dialog.box[open]');
    await box.waitFor();
    assert.equal(await box.locator('h1').innerText(), 'Kinaro Info');
    assert.match(await box.locator('.text').innerText(), /Kinaro/);
    await page.keyboard.press('Enter');
    await box.waitFor({state: 'detached'});

    const client = page.locator('#client');
    await client.dispatchEvent('mousedown', {button: 2, buttons: 2});
    await expectCanvas(page, last, 'the right button held plays forward');
    await page.evaluate(() => window.dispatchEvent(new MouseEvent('mouseup', {button: 2, buttons: 0})));
    await client.dispatchEvent('mousedown', {button: 0, buttons: 1});
    await expectCanvas(page, expected[0], 'the left button held plays backward');
    await page.evaluate(() => window.dispatchEvent(new MouseEvent('mouseup', {button: 0, buttons: 0})));

    await page.keyboard.press('q');
    await ending(page).filter({hasText: 'Kinaro ended normally (status 0).'}).waitFor();
    assert.deepEqual(page.kinaroErrors, []);
    await page.close();
  });

  test('a key reaches a window whose timer is always due', async () => {
    // Each 1920 x 1080 frame takes longer than the 1 ms tick, so the viewer never waits.
    const page = await open('index.html?file=files/large.rm&args=-p+0+-loop+1000');
    await page.waitForFunction(() => kinaroStats.frames > 20);
    await page.keyboard.press('q');
    await ending(page).filter({hasText: 'Kinaro ended normally (status 0).'}).waitFor({timeout: 10000});
    await page.close();
  });

  test('a file larger than the part of it the page holds plays through twice', async () => {
    const page = await open('index.html?file=files/long.rm&args=-p+0+-loop+2');
    await ending(page).filter({hasText: 'Kinaro ended normally (status 0).'}).waitFor({timeout: 60000});
    assert.deepEqual(page.kinaroErrors, []);
    await page.close();
  });

  test('-loop ends by itself and the -d log is offered for download', async () => {
    const page = await open('index.html?file=files/small.rm&args=-d9+log.txt+-loop+1');
    await ending(page).filter({hasText: 'Kinaro ended normally (status 0).'}).waitFor();
    const link = page.locator('#logs a', {hasText: 'log.txt'});
    const log = await page.evaluate(async (a) => (await fetch(a.href)).text(), await link.elementHandle());
    assert.match(log, /Entering Event Loop/);
    await page.close();
  });
});

describe('opening files', () => {
  test('the picker, with its two display options and Help', async () => {
    const expected = frames('demo.rm');
    const page = await open('index.html');
    const chooser = page.locator('dialog.chooser[open]');
    await chooser.waitFor();
    assert.deepEqual(await chooser.locator('label').allInnerTexts(),
                     ['Multiple Colormaps', 'Use Buffering']);
    await chooser.locator('button', {hasText: 'Help'}).click();
    const help = page.locator('dialog.box[open]');
    await help.waitFor();
    assert.match(await help.locator('.text').innerText(), /^Kinaro is a program to display Raster Metafile images/);
    await help.locator('button', {hasText: 'OK'}).click();
    await help.waitFor({state: 'detached'});
    await chooser.locator('label', {hasText: 'Use Buffering'}).click();
    await chooseFile(chooser.locator('input[type=file]'), path.join(files, 'demo.rm'));
    await chooser.locator('button', {hasText: 'OK'}).click();
    await expectCanvas(page, expected[0], 'the chosen file');
    await page.keyboard.press('f');
    await expectCanvas(page, expected[expected.length - 1], 'the buffered file plays');
    assert.deepEqual(page.kinaroErrors, []);
    await page.close();
  });

  test('a file dropped on the page after a run opens in a new one', async () => {
    const expected = frames('small.rm', ['-g']);  // with the options of the last run
    const page = await open('index.html?file=files/demo.rm&args=-g');
    await page.locator('#client:not([hidden])').waitFor();
    await page.keyboard.press('q');
    await ending(page).filter({hasText: 'status 0'}).waitFor();
    const bytes = fs.readFileSync(path.join(files, 'small.rm')).toString('base64');
    const transfer = await page.evaluateHandle((b64) => {
      const data = new DataTransfer();
      data.items.add(new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], 'small.rm'));
      return data;
    }, bytes);
    await page.dispatchEvent('body', 'drop', {dataTransfer: transfer});
    await expectCanvas(page, expected[0], 'the dropped file');
    await page.close();
  });

  test('a damaged file gives the reader\'s error in the Kinaro Error box, then ends with 255', async () => {
    const reference = fs.readFileSync(path.join(source, 'tests/rm/reference.txt'), 'utf8');
    // The reference table adds the block where reading stopped; the box does not.
    const message = reference.match(/^crashers\/color-flag-2\.rm: .*?\| "\w+" (.*) \(block \d+\)$/m)[1];
    const page = await open('index.html?file=files/damaged.rm');
    const box = page.locator('dialog.box[open]');
    await box.waitFor();
    assert.equal(await box.locator('h1').innerText(), 'Kinaro Error');
    assert.equal(await box.locator('.text').innerText(), message);
    await box.locator('button', {hasText: 'OK'}).click();
    await ending(page).filter({hasText: `Kinaro ended after an error (status 255): Kinaro Error: ${message}`}).waitFor();
    assert.deepEqual(page.kinaroErrors, []);
    await page.close();
  });

  test('a file from another site is refused', async () => {
    const page = await open('index.html?file=http://example.invalid/movie.rm');
    await ending(page).filter({hasText: 'Kinaro opens files from this site only'}).waitFor();
    await page.close();
  });
});
