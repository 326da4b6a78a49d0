// Drives `zephrin studio` in headless Chromium as a person would: drags "Point 2" in the Top View with
// the mouse, checks that the host's stream of that point changed, saves the scene and screenshots the
// page. Usage: node studio_browser_test.js ZEPHRIN SCENE WORKDIR
'use strict';
const {spawn} = require('child_process');
const fs = require('fs');
const path = require('path');
const {chromium} = require('playwright-core');

const [zephrin, scene, workDir] = process.argv.slice(2);
const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';
// "Point 2" of the bundled banner, in the Top View control at its registered size and default view.
const point2 = {x: 143, y: 147};
const point2Position = '19';
const topViewPosition = 16;

function fail(message) {
  console.error('FAIL: ' + message);
  process.exitCode = 1;
}

function startStudio() {
  const saved = path.join(workDir, 'edited.json');
  const child = spawn(zephrin, ['studio', scene, '-o', saved], {stdio: ['ignore', 'pipe', 'inherit']});
  return new Promise((resolve, reject) => {
    let text = '';
    child.stdout.on('data', chunk => {
      text += chunk;
      const found = text.match(/http:\/\/127\.0\.0\.1:\d+\//);
      if (found) resolve({child, url: found[0], saved});
    });
    child.on('exit', code => reject(new Error('studio exited with ' + code + ': ' + text)));
  });
}

async function main() {
  const {child, url, saved} = await startStudio();
  const browser = await chromium.launch({executablePath: chromiumPath, headless: true, args: ['--no-sandbox']});
  try {
    const page = await browser.newPage({viewport: {width: 1600, height: 900}});
    await page.goto(url);
    await page.waitForFunction(() => {
      const img = document.getElementById('panel');
      return img.complete && img.naturalWidth > 0;
    });
    const state = async () => (await page.request.get(url + 'state')).json();
    const before = await state();
    const topView = before.controls.find(c => c.position === topViewPosition);
    if (!topView) throw new Error('no Top View in ' + JSON.stringify(before.controls));
    const box = await page.locator('#panel').boundingBox();
    const x = box.x + topView.frame[0] + point2.x, y = box.y + topView.frame[1] + point2.y;
    await page.mouse.move(x, y);
    await page.mouse.down();
    for (let step = 1; step <= 6; ++step) await page.mouse.move(x, y - 5 * step);
    await page.mouse.up();
    await page.evaluate(() => window.studioIdle());
    const after = await state();
    const was = before.params[point2Position], now = after.params[point2Position];
    console.log('Point 2 ' + JSON.stringify(was) + ' -> ' + JSON.stringify(now));
    if (!(now[1] > was[1] + 20)) fail('dragging point 2 up did not raise its stream value');
    if (Math.abs(now[0] - was[0]) > 1) fail('a vertical drag moved point 2 sideways');

    await page.click('#save');
    await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Saved'));
    const savedScene = JSON.parse(fs.readFileSync(saved, 'utf8'));
    const savedPoint = savedScene.layers[2].effects[0].params['Point 2'];
    if (JSON.stringify(savedPoint) !== JSON.stringify(now)) {
      fail('the saved scene holds ' + JSON.stringify(savedPoint) + ', the host ' + JSON.stringify(now));
    }
    await page.evaluate(() => window.studioIdle());
    await page.waitForFunction(() => document.getElementById('preview').naturalWidth > 0);
    const shot = path.join(workDir, 'studio.png');
    await page.screenshot({path: shot});
    if (!(fs.statSync(shot).size > 10000)) fail('the screenshot is empty');
    await page.request.post(url + 'quit', {data: {}});
  } finally {
    await browser.close();
    child.kill();
  }
}

main().catch(error => {
  fail(error.stack || String(error));
});
