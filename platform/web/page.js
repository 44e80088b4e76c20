// The page around the viewer: it starts a fresh instance of the module for every run, gives
// it the command line from the address (?file=NAME&args=OPTIONS), the canvas, the menu bar,
// the boxes and the file chooser, passes keys, buttons, menu items and dropped files in as
// events, and says how the run ended, with the run's logs to download.
'use strict';

const Event = {Key: 1, Button: 2, Command: 3, DialogClick: 4, DialogEnd: 5};
const $ = (id) => document.getElementById(id);
const canvas = $('client'), context = canvas.getContext('2d', {alpha: false});
let run = null;                     // the page side of the running instance
let compiled = null;                // the module's compiled code, shared by every run
let lastArgs = [];                  // the options of the last run, kept for the next file
let mounts = 0;                     // file systems made for chosen files
// Presented rectangles, frames drawn (bitmaps) and frames the browser composited: what the
// benchmark and the tests read.
window.kinaroStats = {drawn: 0, frames: 0, composited: 0, firstFrame: 0, started: 0};
let countPending = false;           // an animation frame asked for, to count as composited

// "&Go" -> "Go" with its mnemonic underlined; the text after a tab is the key it acts as.
function label(text) {
  const [shown, accelerator] = text.split('\t');
  const span = document.createElement('span');
  let mnemonic = '';
  for (let i = 0; i < shown.length; i++) {
    if (shown[i] === '&' && shown[i + 1] !== '&' && i + 1 < shown.length) {
      const u = document.createElement('u');
      u.textContent = mnemonic = shown[++i];
      span.append(u);
    } else {
      span.append(shown[i] === '&' ? shown[++i] : shown[i]);
    }
  }
  return {span, accelerator: accelerator || '', mnemonic: mnemonic.toLowerCase()};
}

function post(...event) {
  if (!run || run.dead) return;
  run.events.push(event);
  if (run.wake) run.wake();
}

// ---- The menu bar ------------------------------------------------------------------------

const menu = {popups: [], open: null};

function closeMenu() {
  if (!menu.open) return;
  menu.open.list.hidden = true;
  menu.open.top.classList.remove('open');
  menu.open = null;
}

function openMenu(popup) {
  closeMenu();
  popup.list.hidden = false;
  popup.top.classList.add('open');
  menu.open = popup;
}

function choose(item) {
  closeMenu();
  post(Event.Command, item.id);
}

document.addEventListener('mousedown', (e) => {
  if (menu.open && !menu.open.element.contains(e.target)) closeMenu();
});

// ---- Dialogs -----------------------------------------------------------------------------

const dialogs = new Map();
let dialogCount = 0;

function newDialog(caption, className) {
  const element = document.createElement('dialog');
  element.className = className;
  const title = document.createElement('h1');
  title.textContent = caption;
  element.append(title);
  // Escape closes the box without a button (0); the viewer answers it as Win32 does.
  element.addEventListener('cancel', (e) => {
    e.preventDefault();
    answer(element.kinaroNumber, 0);
  });
  document.body.append(element);
  const number = ++dialogCount;
  element.kinaroNumber = number;
  dialogs.set(number, element);
  return [number, element];
}

function button(text, action) {
  const b = document.createElement('button');
  b.type = 'button';
  b.append(label(text).span);
  b.addEventListener('click', action);
  return b;
}

function answer(number, value) {
  post(Event.DialogEnd, number, value);
}

// A chosen or dropped file, mounted as it is (read block by block, never copied whole) and
// named in the viewer's working folder by its own name.
function mountFile(name, blob) {
  const FS = run.module.FS, folder = '/files' + mounts++;
  FS.mkdir(folder);
  FS.mount(run.module.WORKERFS, {blobs: [{name, data: blob}]}, folder);
  try { FS.unlink('/run/' + name); } catch (e) { /* not there yet */ }
  FS.symlink(folder + '/' + name, '/run/' + name);
  return name;
}

function chooseInDialog(element, file) {
  element.kinaroFile = file;
  element.querySelector('.chosen').textContent = file ? file.name : 'No file chosen';
}

// The chooser's OK: the chosen file is mounted and is the answer.
function acceptChosen(element) {
  const file = element.kinaroFile;
  if (!file) return;
  run.chosenName = mountFile(file.name, file);
  answer(element.kinaroNumber, 1);
}

const icons = {1: '\u26d4', 2: '\u2753', 3: '\u26a0', 4: '\u2139'};  // MB_ICON... >> 4

const page = {
  screen: (height) => height ? $('stage').clientHeight || innerHeight : $('stage').clientWidth || innerWidth,
  canvas(width, height, shown, popup) {
    canvas.width = width;
    canvas.height = height;
    canvas.hidden = !shown;
    canvas.classList.toggle('popup', !!popup);
  },
  // The surface's pixels are the canvas's: one ImageData over them while they stay put.
  present(pixels, stride, rows, x, y, width, height, bitmap) {
    if (this.image?.data !== pixels) this.image = new ImageData(pixels, stride, rows);
    context.putImageData(this.image, 0, 0, x, y, width, height);
    kinaroStats.drawn++;
    // Frames that reached the screen: one composited frame for each animation frame that
    // followed a change of the canvas, asked for only while the canvas changes.
    if (!countPending) {
      countPending = true;
      requestAnimationFrame(() => { countPending = false; kinaroStats.composited++; });
    }
    if (bitmap && !kinaroStats.frames++) kinaroStats.firstFrame = performance.now();
  },
  title(text) { document.title = text; },
  progress(shown, text) {
    $('progress').hidden = !shown;
    $('progress').textContent = text;
  },
  menuPopup(text, help) {
    const element = document.createElement('div');
    const top = document.createElement('div');
    const list = document.createElement('div');
    const {span, mnemonic} = label(text);
    top.className = 'top';
    top.append(span);
    list.className = 'popup';
    list.hidden = true;
    element.classList.toggle('help', !!help);
    element.append(top, list);
    const popup = {element, top, list, mnemonic, items: []};
    top.addEventListener('mousedown', (e) => {
      e.preventDefault();
      menu.open === popup ? closeMenu() : openMenu(popup);
    });
    menu.popups.push(popup);
    $('menubar').append(element);
  },
  menuItem(id, text) {
    const popup = menu.popups[menu.popups.length - 1];
    if (!text) return popup.list.append(document.createElement('hr'));
    const {span, accelerator, mnemonic} = label(text);
    const element = document.createElement('div');
    const key = document.createElement('span');
    element.className = 'item';
    key.textContent = accelerator;
    element.append(span, key);
    const item = {id, mnemonic, element};
    element.addEventListener('click', () => choose(item));
    popup.items.push(item);
    popup.list.append(element);
  },
  menuShown(shown) { $('menubar').hidden = !shown; },
  box(caption, text, type) {
    const [number, element] = newDialog(caption, 'box');
    const body = document.createElement('div');
    body.className = 'body';
    const icon = icons[(type >> 4) & 0xF];
    if (icon) body.insertAdjacentHTML('beforeend', `<span class="icon">${icon}</span>`);
    const message = document.createElement('div');
    message.className = 'text';
    message.textContent = text;
    body.append(message);
    const buttons = document.createElement('div');
    buttons.className = 'buttons';
    buttons.append(button('OK', () => answer(number, 1)));
    if ((type & 0xF) === 1) buttons.append(button('Cancel', () => answer(number, 2)));  // MB_OKCANCEL
    element.append(body, buttons);
    run.lastBox = caption + ': ' + text;
    element.showModal();
    element.querySelector('button').focus();
    return number;
  },
  chooser(title) {
    const [number, element] = newDialog(title, 'chooser');
    const file = document.createElement('fieldset');
    file.className = 'file';
    const input = document.createElement('input');
    input.type = 'file';
    input.accept = '.rm,.RM,*/*';
    input.addEventListener('change', () => chooseInDialog(element, input.files[0] || null));
    file.insertAdjacentHTML('beforeend', '<legend>File</legend><span class="chosen">No file chosen</span>');
    file.append(input);
    element.append(file);
    element.kinaroGroup = null;
    element.kinaroButtons = document.createElement('div');
    element.kinaroButtons.className = 'buttons';
    element.kinaroButtons.append(
        button('OK', () => acceptChosen(element)),
        button('Cancel', () => answer(number, 0)));
    return number;
  },
  // The template's controls: a group box frames the check boxes after it; buttons go with
  // OK and Cancel.
  control(number, id, text, kind, checked) {
    const element = dialogs.get(number);
    if (kind === 0) {
      element.kinaroGroup = document.createElement('fieldset');
      element.kinaroGroup.innerHTML = '<legend></legend>';
      element.kinaroGroup.firstChild.append(label(text).span);
      element.append(element.kinaroGroup);
    } else if (kind === 1) {
      const box = document.createElement('label');
      const check = document.createElement('input');
      check.type = 'checkbox';
      check.checked = !!checked;
      check.dataset.id = id;
      check.addEventListener('click', () => post(Event.DialogClick, number, id));
      box.append(check, label(text).span);
      (element.kinaroGroup || element).append(box);
    } else {
      element.kinaroButtons.append(button(text, () => post(Event.DialogClick, number, id)));
    }
  },
  dialogShown(number) {
    const element = dialogs.get(number);
    element.append(element.kinaroButtons);
    element.showModal();
  },
  setCheck(number, id, checked) {
    const check = dialogs.get(number)?.querySelector(`input[data-id="${id}"]`);
    if (check) check.checked = !!checked;
  },
  chosen: () => run.chosenName,
  close(number) {
    dialogs.get(number)?.remove();
    dialogs.delete(number);
  },
};

// ---- Input -------------------------------------------------------------------------------

const controlKeys = {Escape: 27, Enter: 13, Backspace: 8, Tab: 9};

document.addEventListener('keydown', (e) => {
  if (!run || run.dead || document.querySelector('dialog[open]')) return;
  const letter = e.key.length === 1 ? e.key.toLowerCase() : '';
  if (menu.open) {
    const item = menu.open.items.find((i) => i.mnemonic && i.mnemonic === letter);
    if (item) choose(item);
    else if (e.key === 'Escape') closeMenu();
    return e.preventDefault();
  }
  if (e.altKey) {
    const popup = !$('menubar').hidden && menu.popups.find((p) => p.mnemonic === letter);
    if (popup) { openMenu(popup); e.preventDefault(); }
    return;
  }
  let character = e.key.length === 1 ? e.key.charCodeAt(0) : controlKeys[e.key] || 0;
  if (e.ctrlKey && character >= 0x40 && character < 0x80) character &= 0x1F;
  if (character > 0xFF) character = 0x3F;  // '?' for what an ANSI window cannot hold
  if (e.metaKey || (e.ctrlKey && character !== 0x1B) || !(character || e.key === 'F10')) return;
  post(Event.Key, e.keyCode, character);
  e.preventDefault();
});

// WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN by the browser's button number; up is + 1.
const buttonDowns = [0x201, 0x207, 0x204];
let buttonsHeld = false;

function mouse(e, up) {
  if (e.button > 2 || (up && !buttonsHeld)) return;
  buttonsHeld = !up || e.buttons !== 0;
  const b = e.buttons;  // after the event, as Win32's MK_ flags are
  const flags = (b & 1 ? 1 : 0) | (b & 2 ? 2 : 0) | (e.shiftKey ? 4 : 0) | (e.ctrlKey ? 8 : 0) | (b & 4 ? 16 : 0);
  const r = canvas.getBoundingClientRect();
  post(Event.Button, buttonDowns[e.button] + (up ? 1 : 0), flags,
       Math.round((e.clientX - r.left) * canvas.width / r.width),
       Math.round((e.clientY - r.top) * canvas.height / r.height));
  e.preventDefault();
}
canvas.addEventListener('mousedown', (e) => mouse(e, false));
window.addEventListener('mouseup', (e) => mouse(e, true));
canvas.addEventListener('contextmenu', (e) => e.preventDefault());

// A dropped file goes to an open chooser, or else starts a run of its own.
document.addEventListener('dragover', (e) => e.preventDefault());
document.addEventListener('drop', (e) => {
  e.preventDefault();
  const file = e.dataTransfer.files[0];
  if (!file) return;
  const chooser = [...dialogs.values()].find((d) => d.classList.contains('chooser'));
  if (chooser && run && !run.dead) {
    chooseInDialog(chooser, file);
    return acceptChosen(chooser);
  }
  start(lastArgs, file.name, file);
});


// ---- Runs --------------------------------------------------------------------------------

function download(name, data) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([data], {type: 'text/plain'}));
  a.download = name;
  a.textContent = 'Download ' + name;
  $('logs').append(a);
}

function ended(this_run, how) {
  if (this_run !== run || run.dead) return;
  run.dead = true;
  kinaroStats.ended = performance.now();
  for (const number of [...dialogs.keys()]) page.close(number);
  closeMenu();
  $('menubar').hidden = canvas.hidden = $('progress').hidden = true;
  $('ending').textContent = how;
  $('logs').textContent = '';
  // What the run wrote in its working folder (-d FILE) and on its standard output (-d).
  try {
    const FS = run.module.FS;
    for (const name of FS.readdir('/run'))
      if (FS.isFile(FS.lstat('/run/' + name).mode)) download(name, FS.readFile('/run/' + name));
  } catch (e) { /* the run ended before its folder was made */ }
  if (run.output.length) download('kinaro-output.txt', run.output.join('\n') + '\n');
  $('again').textContent = 'Open another file…';
  $('end').hidden = false;
  document.title = 'Kinaro';
}

async function start(args, name, blob) {
  if (run) run.dead = true;
  for (const number of [...dialogs.keys()]) page.close(number);
  lastArgs = args;
  $('end').hidden = true;
  Object.assign(kinaroStats, {frames: 0, composited: 0, firstFrame: 0, started: performance.now()});
  const this_run = run = Object.assign(Object.create(page), {events: [], output: [], dead: false});
  // The status as a shell sees it: -1 is 255.
  const status = (code) => (code & 255) === 0 ? 'Kinaro ended normally (status 0).'
      : `Kinaro ended after an error (status ${code & 255})` + (this_run.lastBox ? ': ' + this_run.lastBox : '.');
  const module = {
    arguments: name ? [...args, name] : args,
    kinaroPage: this_run,
    print: (line) => this_run.output.push(line),
    printErr: (line) => console.log(line),
    preRun: [(m) => {
      this_run.module = m;
      m.FS.mkdir('/run');
      m.FS.chdir('/run');
      if (blob) mountFile(name, blob);
    }],
    instantiateWasm(imports, done) {
      // Compiled once; every run instantiates it afresh.
      compiled ??= fetch('kinaro.wasm').then((r) => r.arrayBuffer()).then((b) => WebAssembly.compile(b));
      compiled.then((c) => WebAssembly.instantiate(c, imports).then((i) => done(i, c)));
      return {};
    },
    onExit: (code) => ended(this_run, status(code)),
    onAbort: (what) => ended(this_run, 'Kinaro stopped: ' + what),
  };
  try {
    await KinaroModule(module);
  } catch (e) {
    if (!(e && e.name === 'ExitStatus')) ended(this_run, 'Kinaro stopped: ' + e);
  }
}

// The command line from the address; the file must come from the page's own site.
async function startFromAddress() {
  const query = new URLSearchParams(location.search);
  const args = (query.get('args') || '').split(/\s+/).filter(Boolean);
  const file = query.get('file');
  if (!file) return start(args);
  const url = new URL(file, location.href);
  const name = decodeURIComponent(url.pathname.split('/').pop()) || 'movie.rm';
  run = {dead: false, output: []};
  if (url.origin !== location.origin)
    return ended(run, `Kinaro opens files from this site only, not ${url.origin}.`);
  const response = await fetch(url).catch((e) => ({ok: false, statusText: String(e)}));
  if (!response.ok) return ended(run, `${file} could not be fetched: ${response.status || ''} ${response.statusText}`);
  start(args, name, await response.blob());
}

$('again').addEventListener('click', () => start(lastArgs));
startFromAddress();
