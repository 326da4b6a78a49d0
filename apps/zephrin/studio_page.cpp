#include "apps/zephrin/studio_page.h"

namespace zephrin::app {

const std::string& studioPage() {
    // Events go to the host one at a time, in order (a promise chain), as a window's messages do; the
    // panel image is fetched again after each, the preview after each edit.
    static const std::string page = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Zephrin studio</title>
<style>
  body { background: #1c1d21; color: #d8d9de; font: 13px sans-serif; margin: 16px; }
  #bar { margin-bottom: 10px; }
  #bar button { margin-right: 8px; }
  #panes { display: flex; gap: 16px; align-items: flex-start; }
  #panel { outline: none; user-select: none; -webkit-user-drag: none; }
  #panel:focus { box-shadow: 0 0 0 1px #4a90e2; }
  #preview { max-width: 960px; border: 1px solid #333; }
  #menu { position: absolute; display: none; background: #2b2d33; border: 1px solid #555; padding: 2px 0; }
  #menu div { padding: 3px 16px; cursor: pointer; }
  #menu div:hover { background: #3d6fb3; }
  #menu hr { border: 0; border-top: 1px solid #555; margin: 2px 0; }
  #status { margin-left: 8px; color: #9a9ca3; }
</style>
</head>
<body>
<div id="bar"><button id="save">Save scene</button><button id="refresh">Render preview</button><span id="status"></span></div>
<div id="panes">
  <img id="panel" tabindex="0" draggable="false" alt="effect controls">
  <img id="preview" alt="preview render">
</div>
<div id="menu"></div>
<script>
const panel = document.getElementById('panel');
const preview = document.getElementById('preview');
const menu = document.getElementById('menu');
const status = document.getElementById('status');
let queue = Promise.resolve();
let middle = false, pressed = false, lastDown = null;

function post(path, body) {
  return fetch(path, {method: 'POST', headers: {'Content-Type': 'application/json'},
                      body: JSON.stringify(body || {})}).then(r => r.json());
}
function reloadPanel() {
  return new Promise(done => { panel.onload = done; panel.onerror = done; panel.src = '/panel.png?' + Date.now(); });
}
function reloadPreview() {
  return new Promise(done => { preview.onload = done; preview.onerror = done; preview.src = '/preview.png?' + Date.now(); });
}
function send(event, redraw, rerender) {
  queue = queue.then(() => post('/event', event)).then(reply => {
    if (reply.cursor) panel.style.cursor = reply.cursor;
    const steps = [];
    if (reply.menu) showMenu(reply.menu, event);
    if (redraw) steps.push(reloadPanel());
    if (rerender) steps.push(reloadPreview());
    return Promise.all(steps);
  }).catch(e => { status.textContent = String(e); });
  return queue;
}
function where(e) { return {x: e.offsetX, y: e.offsetY, ctrl: e.ctrlKey, alt: e.altKey, shift: e.shiftKey}; }
function showMenu(items, down) {
  menu.innerHTML = '';
  for (const item of items) {
    if (item.separator) { menu.appendChild(document.createElement('hr')); continue; }
    const row = document.createElement('div');
    row.textContent = (item.checked ? '\u25CF ' : '\u2003') + item.text;
    row.onclick = () => {
      menu.style.display = 'none';
      send(Object.assign({}, down, {menu: item.id}), false, false);
      send(Object.assign({}, down, {type: 'up'}), true, true);
    };
    menu.appendChild(row);
  }
  const box = panel.getBoundingClientRect();
  menu.style.left = (window.scrollX + box.left + down.x) + 'px';
  menu.style.top = (window.scrollY + box.top + down.y) + 'px';
  menu.style.display = 'block';
}
document.addEventListener('mousedown', e => { if (!menu.contains(e.target)) menu.style.display = 'none'; });
panel.addEventListener('contextmenu', e => e.preventDefault());
panel.addEventListener('mousedown', e => {
  e.preventDefault();
  panel.focus();
  if (e.button === 1) { middle = true; send(Object.assign({type: 'middle-down'}, where(e)), true, false); return; }
  pressed = true;
  lastDown = Object.assign({type: 'down', button: e.button, clicks: e.detail > 1 ? 2 : 1}, where(e));
  send(lastDown, true, false);
});
panel.addEventListener('mousemove', e => {
  if (middle) { send(Object.assign({type: 'middle-move'}, where(e)), true, false); return; }
  send(Object.assign({type: 'move'}, where(e)), pressed, false);
});
window.addEventListener('mouseup', e => {
  if (e.button === 1 && middle) {
    middle = false;
    const box = panel.getBoundingClientRect();
    send({type: 'middle-up', x: e.clientX - box.left, y: e.clientY - box.top}, true, false);
    return;
  }
  if (!pressed) return;
  pressed = false;
  const box = panel.getBoundingClientRect();
  send({type: 'up', x: e.clientX - box.left, y: e.clientY - box.top}, true, true);
});
panel.addEventListener('wheel', e => {
  e.preventDefault();
  send(Object.assign({type: 'wheel', deltaY: e.deltaY}, where(e)), true, false);
}, {passive: false});
panel.addEventListener('keydown', e => {
  if (e.key.length > 1 && !['Enter', 'Backspace', 'Escape', 'Delete'].includes(e.key)) return;
  e.preventDefault();
  send({type: 'key', key: e.key}, true, e.key === 'Enter');
});
document.getElementById('save').onclick = () => {
  queue = queue.then(() => post('/save')).then(r => { status.textContent = r.saved ? 'Saved ' + r.saved : r.error; });
};
document.getElementById('refresh').onclick = () => { queue = queue.then(reloadPreview); };
window.studioIdle = () => queue;
reloadPanel();
reloadPreview();
</script>
</body>
</html>
)HTML";
    return page;
}

}  // namespace zephrin::app
