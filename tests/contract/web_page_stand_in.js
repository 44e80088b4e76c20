// The page as the contract tests see it under Node: a canvas that keeps what is presented
// (read back by ClientPixel), and boxes answered with OK at once.
Module['kinaroPage'] = {
  events: [], dead: false, width: 0, height: 0, pixels: new Uint8ClampedArray(0), dialogs: 0,
  screen: function(height) { return height ? 768 : 1024; },
  canvas: function(width, height) {
    this.width = width;
    this.height = height;
    this.pixels = new Uint8ClampedArray(width * height * 4);  // a canvas starts cleared
  },
  present: function(surface, stride, rows, x, y, width, height) {
    for (var row = y; row < y + height; row++)
      this.pixels.set(surface.subarray((row * stride + x) * 4, (row * stride + x + width) * 4), (row * this.width + x) * 4);
  },
  // 0x00RRGGBB of a canvas pixel; all ones outside it or where nothing opaque was drawn.
  pixel: function(x, y) {
    if (x < 0 || y < 0 || x >= this.width || y >= this.height) return -1;
    var p = this.pixels, i = (y * this.width + x) * 4;
    return p[i + 3] === 255 ? (p[i] << 16 | p[i + 1] << 8 | p[i + 2]) : -1;
  },
  title: function() {}, progress: function() {}, menuPopup: function() {}, menuItem: function() {},
  menuShown: function() {}, control: function() {}, dialogShown: function() {}, setCheck: function() {},
  close: function() {}, chosen: function() { return null; },
  box: function() {
    var number = ++this.dialogs;
    this.events.push([5, number, 1]);
    return number;
  },
  chooser: function() {
    var number = ++this.dialogs;
    this.events.push([5, number, 0]);
    return number;
  },
};
