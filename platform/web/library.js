// The page's side of the native layer, linked into the module (--js-library). Every call
// goes to Module.kinaroPage (page.js on the page, a stand-in under Node), which queues the
// page's events in kinaroPage.events as [kind, a, b, c, d].
mergeInto(LibraryManager.library, {
  $KinaroWeb__deps: ['$Asyncify', '$WORKERFS'],
  $KinaroWeb__postset: 'KinaroWeb.init();',
  $KinaroWeb: {
    chunk: 4 << 20,  // file bytes fetched at once: one promise per 4 MiB, not per block
    // The C library reads a large request and its own buffer in one call (two parts). A
    // suspension in the second part would replay the call with the first part already taken,
    // so a part is served from the window only when the window also holds this much after it.
    following: 64 << 10,
    lastYield: 0,
    nested: 0,  // the timer nesting of the task the program runs in
    view: null,  // the canvas window's surface in the module's memory
    init: function() {
      Module['WORKERFS'] = WORKERFS;
      // Blobs only, on any thread: nothing here reads synchronously (FileReaderSync).
      WORKERFS.mount = function(mount) {
        var root = WORKERFS.createNode(null, '/', WORKERFS.DIR_MODE, 0);
        mount.opts.blobs.forEach(function(blob) {
          WORKERFS.createNode(root, blob.name, WORKERFS.FILE_MODE, 0, blob.data);
        });
        return root;
      };
      // A file is read as the viewer reads it, the bytes it asks for when it asks, through
      // one window of the file kept per open file. A window missing its bytes suspends the
      // program (Asyncify) until the File gives them.
      WORKERFS.stream_ops.read = function(stream, buffer, offset, length, position) {
        var node = stream.node, end = Math.min(node.size, position + length);
        if (position >= end) return 0;
        var held = stream.kinaroWindow;
        var after = Math.min(node.size, end + KinaroWeb.following);
        if (Asyncify.state !== Asyncify.State.Rewinding && held &&
            position >= held.start && after <= held.start + held.bytes.length) {
          buffer.set(held.bytes.subarray(position - held.start, end - held.start), offset);
          return end - position;
        }
        Asyncify.handleSleep(function(wake) {
          var to = Math.min(node.size, Math.max(after, position + KinaroWeb.chunk));
          node.contents.slice(position, to).arrayBuffer().then(function(data) {
            stream.kinaroWindow = {start: position, bytes: new Uint8Array(data)};
            KinaroWeb.resume(wake, 0);
          });
        });
        if (Asyncify.state === Asyncify.State.Unwinding) return 0;
        held = stream.kinaroWindow;
        buffer.set(held.bytes.subarray(0, end - position), offset);
        return end - position;
      };
    },
    // Resumes the program; its end (exit) is no error of the page.
    resume: function(wake, value) {
      try { wake(value); } catch (e) { if (!(e instanceof ExitStatus)) throw e; }
    },
    // Gives the page a turn: its input, its rendering and the compositor go on.
    yieldThen: function(wake) {
      var channel = new MessageChannel();
      channel.port1.onmessage = function() {
        channel.port1.close();
        KinaroWeb.lastYield = performance.now();
        KinaroWeb.nested = 0;
        KinaroWeb.resume(wake);
      };
      channel.port2.postMessage(0);
    },
  },

  kinaro_web_wait__deps: ['$KinaroWeb'],
  kinaro_web_wait: function(deadline) {
    var page = Module['kinaroPage'];
    // A tick already due goes on at once while the page had a turn a moment ago: the page
    // gets one at least every 4 ms, and a frame is not held up by a turn of its own.
    if (Asyncify.state === Asyncify.State.Normal && !page.events.length && deadline >= 0 &&
        deadline <= performance.now() && performance.now() - KinaroWeb.lastYield < 4)
      return;
    return Asyncify.handleSleep(function(wake) {
      var timer = null, done = false;
      // level: the timer nesting of the timer task that calls it (none: the task running).
      function check(level) {
        if (done || page.dead) return;
        var now = performance.now();
        clearTimeout(timer);
        if (level !== undefined) KinaroWeb.nested = level;
        if (page.events.length || (deadline >= 0 && now >= deadline)) {
          // Woken once: an event queued later finds no wait to wake (the next one takes it).
          done = true;
          page.wake = null;
          // A timer task resumes the program itself while the timers it sets nest less than
          // five deep (the browser holds those to 4 ms); else a message task does.
          if (level !== undefined && level < 4) {
            KinaroWeb.lastYield = now;
            return KinaroWeb.resume(wake);
          }
          return KinaroWeb.yieldThen(wake);
        }
        // A browser's timer keeps whole milliseconds and never ends early: the wait ends
        // with the first one at or after the deadline.
        if (deadline >= 0) timer = setTimeout(check, Math.ceil(deadline - now), KinaroWeb.nested + 1);
      }
      page.wake = function() { if (!done) KinaroWeb.yieldThen(check); };
      check();
    });
  },
  kinaro_web_next_event: function(fields, input) {
    var events = Module['kinaroPage'].events;
    var at = input ? events.findIndex(function(e) { return e[0] !== 4; }) : 0;  // 4: DialogClick
    if (at < 0 || !events.length) return 0;
    var event = events.splice(at, 1)[0];
    for (var i = 0; i < 5; i++) HEAP32[(fields >> 2) + i] = event[i] | 0;
    return 1;
  },
  kinaro_web_now_ms: function() { return performance.now(); },
  kinaro_web_screen: function(height) { return Module['kinaroPage'].screen(height); },
  kinaro_web_canvas: function(width, height, shown, popup) {
    Module['kinaroPage'].canvas(width, height, shown, popup);
  },
  // Every presented rectangle reaches the canvas; a long run of them gives the page a turn
  // now and then, since a window with a due timer never waits.
  kinaro_web_present__deps: ['$KinaroWeb'],
  kinaro_web_present: function(pixels, stride, rows, x, y, width, height, bitmap) {
    // Called again when the program resumes after its turn: that call only ends the turn.
    if (Asyncify.state !== Asyncify.State.Rewinding) {
      // One view of the surface while it and the module's memory stay where they are.
      var view = KinaroWeb.view;
      if (!view || view.buffer !== HEAPU8.buffer || view.byteOffset !== pixels || view.length !== stride * rows * 4)
        view = KinaroWeb.view = new Uint8ClampedArray(HEAPU8.buffer, pixels, stride * rows * 4);
      Module['kinaroPage'].present(view, stride, rows, x, y, width, height, bitmap);
      if (performance.now() - KinaroWeb.lastYield < 12) return;
    }
    return Asyncify.handleSleep(function(wake) { KinaroWeb.yieldThen(wake); });
  },
  kinaro_web_title: function(text) { Module['kinaroPage'].title(UTF8ToString(text)); },
  kinaro_web_static: function(shown, text) { Module['kinaroPage'].progress(shown, UTF8ToString(text)); },
  kinaro_web_menu_popup: function(text, help) { Module['kinaroPage'].menuPopup(UTF8ToString(text), help); },
  kinaro_web_menu_item: function(id, text) {
    Module['kinaroPage'].menuItem(id, text ? UTF8ToString(text) : null);
  },
  kinaro_web_menu_shown: function(shown) { Module['kinaroPage'].menuShown(shown); },
  kinaro_web_box: function(caption, text, type) {
    return Module['kinaroPage'].box(UTF8ToString(caption), UTF8ToString(text), type);
  },
  kinaro_web_chooser: function(title) { return Module['kinaroPage'].chooser(UTF8ToString(title)); },
  kinaro_web_control: function(dialog, id, text, kind, checked) {
    Module['kinaroPage'].control(dialog, id, UTF8ToString(text), kind, checked);
  },
  kinaro_web_dialog_shown: function(dialog) { Module['kinaroPage'].dialogShown(dialog); },
  kinaro_web_set_check: function(dialog, id, checked) { Module['kinaroPage'].setCheck(dialog, id, checked); },
  kinaro_web_chosen: function(path, size) {
    var name = Module['kinaroPage'].chosen();
    if (!name || lengthBytesUTF8(name) >= size) return 0;
    stringToUTF8(name, path, size);
    return 1;
  },
  kinaro_web_close: function(dialog) { Module['kinaroPage'].close(dialog); },
});
