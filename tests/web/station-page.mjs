// The station's web page in Debian's chromium at a phone's size: the module and GPS
// simulators feed a station serving its page with a token. The page must send to the login
// form without the token, show the state and the fix, get live dots, open a pass and stop the
// recording with the token. (The controls' 401 without the token is checked on the router in
// StationWebTest and on the running station in StationCommandTest.)
// Usage: node station-page.mjs ZELKORA_TOOL SHARED_DATA OUT_DIR
// Exits 77 (skipped) when chromium, playwright-core or the captures are not there.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

const [tool, shared, outDir] = process.argv.slice(2);
const chromium = '/usr/bin/chromium';
const capture = path.join(shared, 'nmea', 'bt-q818.log');
function skip(why) {
  console.log('skipped: ' + why);
  process.exit(77);
}
if (!fs.existsSync(chromium)) skip('no ' + chromium + ' (scripts/setup.sh installs it)');
if (!fs.existsSync(capture)) skip('captures not present: ' + capture);
let playwright;
try {
  playwright = await import('playwright-core');
} catch {
  skip('playwright-core not installed (scripts/setup.sh runs npm ci in tests/web)');
}

const token = 'a token for the browser test';
const root = fs.mkdtempSync(path.join(os.tmpdir(), 'zelkora-page-test-'));
fs.mkdirSync(path.join(root, 'config', 'Chirova'), {recursive: true});
fs.mkdirSync(path.join(root, 'run'), {mode: 0o700});
fs.writeFileSync(path.join(root, 'config', 'Chirova', 'zelkora.ini'), '[Zelkora]\nautoMaxTBC=1000000\n');
const env = Object.assign({}, process.env, {
  XDG_RUNTIME_DIR: path.join(root, 'run'),
  XDG_CONFIG_HOME: path.join(root, 'config'),
  TZ: 'UTC',
});
const children = [];
let failures = 0;

function check(ok, what) {
  console.log((ok ? 'ok: ' : 'FAILED: ') + what);
  if (!ok) failures++;
}

// Starts a child whose output lines gather in its `lines`.
function start(args) {
  const child = spawn(tool, args, {env, stdio: ['ignore', 'pipe', 'inherit']});
  children.push(child);
  child.lines = [];
  readline.createInterface({input: child.stdout}).on('line', (l) => child.lines.push(l));
  return child;
}

async function until(what, test, ms) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (await test()) {
      console.log('ok: ' + what);
      return true;
    }
    await new Promise((r) => setTimeout(r, 200));
  }
  check(false, what + ' within ' + ms + ' ms');
  return false;
}

function freePort() {
  return new Promise((resolve) => {
    const s = net.createServer();
    s.listen(0, '127.0.0.1', () => {
      const port = s.address().port;
      s.close(() => resolve(port));
    });
  });
}

let context;
try {
  const module = start(['simulate-module', '--mix', 'passes', '--calls-per-second', '10']);
  const gps = start(['simulate-gps', '--nmea', capture, '--baud', '115200', '--loop']);
  await until('the simulators start', () => module.lines.length > 0 && gps.lines.length > 0, 10000);
  const modulePort = parseInt(module.lines[0].slice(3), 10);
  const gpsPort = parseInt(gps.lines[0].slice(3), 10);
  const http = await freePort();
  const config = path.join(root, 'station.conf');
  fs.writeFileSync(config, `port = ${modulePort}\ngps = ${gpsPort}\ngps_baud = 115200\n` +
                           `http = ${http}\nhttp_token = ${token}\n`);
  const station = start(['station', '--config', config, '--dir', path.join(root, 'out'), '--now']);
  const said = (text) => station.lines.some((l) => l.includes(text));
  await until('the station records', () => said('start: recording'), 15000);
  await until('the station has a fix', () => said('position from the GPS'), 20000);
  const base = `http://127.0.0.1:${http}`;

  const userData = fs.mkdtempSync(path.join(root, 'chromium-'));
  context = await playwright.chromium.launchPersistentContext(userData, {
    hasTouch: true,
    executablePath: chromium,
    headless: true,
    viewport: {width: 390, height: 844},
    // The phone on another zone than the station (UTC): each time says whose clock it is on.
    timezoneId: 'Asia/Kolkata',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const page = context.pages()[0] || await context.newPage();

  // Without the token the page sends to the form.
  await page.goto(base + '/');
  check(page.url() === base + '/login', 'the page sends to the login form');
  await page.fill('#token', token);
  await Promise.all([page.waitForURL(base + '/'), page.click('button[type=submit]')]);

  await until('the page shows "recording"',
              async () => (await page.textContent('#state')) === 'recording', 10000);
  await until('the page shows the fix', async () => /^-?\d+\.\d+,-?\d+\.\d+$/.test(await page.textContent('#gps')), 10000);
  // The capture's receiver lives in another year than the station's clock.
  await until('the page says the station\'s clock is off its GPS\'s', async () =>
    /^The station's clock is \d+ d \d+ h (ahead of|behind) its GPS's/.test(await page.textContent('#clock')), 10000);
  await until('the live view gets dots',
              async () => Number(await page.getAttribute('body', 'data-live-dots')) > 0, 15000);
  await until('a recent pass with its picture', () => page.evaluate(() => {
    const img = document.querySelector('#files img');
    return img !== null && img.complete && img.naturalWidth > 0;
  }), 30000);
  const s = await page.evaluate(async () => (await fetch('/api/status')).json());
  const sunset = new Date(Date.parse(s.sunset) + 5.5 * 3600000).toISOString().substring(11, 16);
  check(s.utc_offset_s === 0 && (await page.textContent('#sunset')) === sunset + ' GMT+5:30',
        'the sunset on the phone\'s clock, labelled: ' + s.sunset + ' as ' +
        await page.textContent('#sunset'));
  check(/ \d\d:\d\d:\d\d GMT\n?/.test(await page.textContent('#files li')),
        'a pass\'s start on the station\'s clock, labelled: ' + await page.textContent('#files li'));
  const fits = await page.evaluate(() => document.documentElement.scrollWidth <= 390);
  check(fits, 'nothing is wider than the phone');
  if (outDir) {
    // The picture for the README shows a pass or two in the live view.
    await until('a few hundred live dots', async () =>
      Number(await page.getAttribute('body', 'data-live-dots')) > 300, 20000);
    fs.mkdirSync(outDir, {recursive: true});
    await page.screenshot({path: path.join(outDir, 'station-390x844.png')});
  }

  // A pass opens with its picture and its calls.
  await page.click('#files li');
  await until('the pass shows its calls', async () => (await page.$$('#calls tr')).length > 0, 10000);
  if (outDir) await page.screenshot({path: path.join(outDir, 'station-pass-390x844.png')});
  // The phone's back gesture closes the pass and stays on the page; so does "Back".
  await page.goBack();
  await until('back closes the pass', () => page.evaluate(() =>
    getComputedStyle(document.getElementById('view')).display === 'none'), 5000);
  check(page.url() === base + '/', 'back stays on the page: ' + page.url());
  await page.click('#files li');
  await page.click('#close');
  await until('"Back" closes the pass', () => page.evaluate(() =>
    getComputedStyle(document.getElementById('view')).display === 'none'), 5000);

  // A past night of 21 passes: chosen from the list of nights, it shows its newest twenty and
  // "Older passes" the one before them.
  const out = path.join(root, 'out');
  const tonight = fs.readdirSync(out).find((d) => /^\d{4}-\d\d-\d\d$/.test(d));
  const recorded = fs.readdirSync(path.join(out, tonight)).find((n) => n.endsWith('#'));
  fs.mkdirSync(path.join(out, '2024-06-21'));
  for (let i = 0; i < 21; i++) {
    fs.copyFileSync(path.join(out, tonight, recorded),
                    path.join(out, '2024-06-21', `Y6212${String(i).padStart(3, '0')}.00#`));
  }
  await page.reload();
  await until('the list of nights offers the past night', () =>
    page.evaluate(() => [...document.querySelectorAll('#nights option')].some((o) => o.value === '2024-06-21')), 10000);
  await page.selectOption('#nights', '2024-06-21');
  const shown = () => page.evaluate(() => [...document.querySelectorAll('#files li')].map((li) => li.dataset.name));
  await until('the past night\'s newest twenty', async () => {
    const names = await shown();
    return names.length === 20 && names[0] === 'Y6212020.00#';
  }, 10000);
  await page.tap('#older');
  await until('"Older passes" adds the first', async () => (await shown())[20] === 'Y6212000.00#', 10000);
  await page.selectOption('#nights', '');

  // "Stop" with the token (the session cookie) stops the recording; the page's state is drawn
  // from /api/status.
  await page.click('#stop');
  await until('the station stops from the page', () => said('stop: stopped from the web page'), 10000);
  await until('the page shows "stopped"', async () => (await page.textContent('#state')) === 'stopped', 10000);
} catch (e) {
  check(false, 'the test ran: ' + e.stack);
} finally {
  if (context) await context.close();
  // The folder goes once every child has ended and let go of it.
  const ended = children.map((c) => c.exitCode !== null || c.signalCode !== null ||
                                    new Promise((r) => c.once('exit', r)));
  for (const c of children.reverse()) c.kill('SIGTERM');
  await Promise.all(ended);
  fs.rmSync(root, {recursive: true, force: true});
}
process.exit(failures ? 1 : 0);
