// The wall in a real browser against real consoles: a private Mosquitto with its WebSocket
// listener, three headless consoles on simulated inputs (one silent past its dead-air delay,
// one with a station name made of markup) and headless Chromium driven over WebDriver. What
// the page shows is read from its DOM and from the pixels of screenshots.
// Usage: node wall-browser.test.js PATH/TO/VelmoraPro [SCREENSHOT.png]
// Exit status 0 passed, 1 failed, 77 skipped (no Chromium, chromedriver or Mosquitto).
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const {spawn} = require('child_process');
const {top, sleep, freePort, waitFor, stop, Broker, Publisher, Browser, tempDir} = require('./support');

const program = process.argv[2];
const screenshotFile = process.argv[3];
const HOSTILE = '<img src=x onerror=alert(1)>';
const KEEP_ALIVE_MS = 10000; // the console's

if (!Broker.program() || !Browser.programs()) {
    console.log('SKIP: needs mosquitto, chromium and chromedriver');
    process.exit(77);
}
if (!program || !fs.existsSync(program)) {
    console.log('SKIP: VelmoraPro is not built');
    process.exit(77);
}

const dir = tempDir('velmora-wall');
const consoles = {};
let broker, browser;

function startConsole(station, device, settings, mqttPort) {
    const file = path.join(dir, `settings-${Object.keys(consoles).length}.ini`);
    fs.writeFileSync(file, settings);
    const env = Object.assign({}, process.env);
    for (const name of ['DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM'])
        delete env[name];
    const log = fs.openSync(path.join(dir, `console-${Object.keys(consoles).length}.log`), 'a');
    const args = [ '--headless', '--settings', file, '--simulated-devices', '--device', device ];
    args.push('--publish', `mqtt://127.0.0.1:${mqttPort}`, '--station', station);
    consoles[station] = spawn(program, args, {env, stdio : [ 'ignore', log, log ]});
    fs.closeSync(log);
}

// Each tile as the page has it, in page order.
const tilesScript = `
  return Array.from(document.querySelectorAll('.tile')).map((t) => {
    const r = t.querySelector('canvas').getBoundingClientRect(), b = t.getBoundingClientRect();
    const text = (c) => t.querySelector('.' + c).textContent;
    return { name: text('name'), mode: t.dataset.mode, state: text('state'), peakL: text('peak-l'),
             peakR: text('peak-r'), input: text('input'),
             canvas: { x: r.left, y: r.top, w: r.width, h: r.height },
             box: { x: b.left, y: b.top, w: b.width, h: b.height } };
  });`;
async function tiles() { return browser.run(tilesScript); }
async function tile(name) { return (await tiles()).find((t) => t.name === name); }

// Pixels of a tile's box: how many are strongly coloured, and how many bright red.
function census(shot, box) {
    let n = 0, coloured = 0, red = 0;
    for (let y = box.y + 2; y < box.y + box.h - 2; y += 2)
        for (let x = box.x + 2; x < box.x + box.w - 2; x += 2) {
            const [r, g, b] = shot.at(x, y);
            ++n;
            if (Math.max(r, g, b) - Math.min(r, g, b) > 60) ++coloured;
            if (r > 200 && g < 70 && b < 70) ++red;
        }
    return {coloured : coloured / n, red : red / n};
}

// How far the left PEAK bar is lit, as a share of the bar: the lit (blue or red) run from the
// left edge, over the bar's length up to the gap before its CLIP lamp.
function litShare(shot, c) {
    const y = c.y + c.h * 0.15;
    const lit = ([ r, g, b ]) => (b > 180 && r < 120) || (r > 200 && g < 60 && b < 60);
    const black = ([ r, g, b ]) => r + g + b < 20;
    let end = c.x;
    while (end < c.x + c.w &&
           !(black(shot.at(end, y)) && black(shot.at(end + 1, y)) && black(shot.at(end + 2, y))))
        ++end;
    let last = -1;
    for (let x = c.x; x < end; ++x)
        if (lit(shot.at(x, y))) last = x;
    return (last + 1 - c.x) / (end - c.x);
}

async function main() {
    const started = Date.now();
    broker = new Broker(dir, await freePort(), await freePort());
    await broker.start();
    startConsole('studio-a', 'Simulated 1 kHz -20 dBFS', '', broker.mqttPort);
    startConsole('studio-b', 'Simulated silence', '[AIDS]\nDeadAir=1\nDeadAirDelay=2\n', broker.mqttPort);
    startConsole(HOSTILE, 'Simulated stereo programme', '', broker.mqttPort);

    browser = new Browser();
    await browser.start(dir, 1280, 800);
    const page = path.join(top, 'wall', 'index.html');
    await browser.open(`file://${page}?broker=ws://127.0.0.1:${broker.wsPort}&prefix=velmora`);

    // Three tiles in name order; the tone's read-outs and bar; the silent one flashing.
    await waitFor('three tiles', async () => (await tiles()).length === 3, 20000);
    assert.deepStrictEqual(
        (await tiles()).map((t) => t.name),
        [ HOSTILE, 'studio-a', 'studio-b' ],
    );
    const a = await waitFor('the tone read', async () => {
        const t = await tile('studio-a');
        return t.peakL === '-20.0' && t.peakR === '-20.0' && t.mode === 'live' && t;
    }, 10000);
    assert.strictEqual(a.input, 'Simulated 1 kHz -20 dBFS');
    const b = await waitFor('SILENCE on studio-b', async () => {
        const t = await tile('studio-b');
        return t.mode === 'silence' && t;
    }, 15000);
    assert.match(b.state, /^SILENCE \d+:\d\d$/);

    // The hostile name is its characters: no element made of it, no script run.
    const hostile = await tile(HOSTILE);
    assert.strictEqual(hostile.name, HOSTILE);
    assert.strictEqual(await browser.run('return document.querySelectorAll("img").length'), 0);
    await assert.rejects(browser.command('GET', `/session/${browser.session}/alert/text`), /no such alert/);

    await sleep(500); // the bars settle on the tone
    let shot = await browser.screenshot(screenshotFile);
    const share = litShare(shot, (await tile('studio-a')).canvas);
    assert.ok(Math.abs(share - 40 / 60) < 0.02, `the -20 dBFS bar is lit over ${share} of its -60..0 scale`);
    assert.ok(census(shot, hostile.box).coloured > 0.02, 'a live tile is in colour');
    // The silent tile flashes: two screenshots half a period apart differ in its background, and
    // its SILENCE label is red in both.
    const corner = (s) => s.at(b.box.x + 6, b.box.y + b.box.h - 6);
    const seen = new Set();
    for (let i = 0; i < 6 && seen.size < 2; ++i) {
        const s = i === 0 ? shot : await browser.screenshot();
        assert.ok(census(s, b.box).red > 0.005, 'the silent tile shows red');
        seen.add(corner(s)[0] > 100 ? 'red' : 'dark');
        await sleep(310);
    }
    assert.deepStrictEqual([...seen ].sort(), [ 'dark', 'red' ], 'the silent tile flashes');

    // Payloads that are not the console's are skipped and counted; the page goes on.
    const junk = new Publisher(broker.mqttPort, 'junk');
    await junk.connect();
    const skipped = Number(await browser.run('return document.getElementById("counts").dataset.skipped'));
    junk.publish('velmora/studio-a/levels', 'not json {');
    junk.publish('velmora/studio-a/loudness', '{"integrated":"loud"}');
    junk.close();
    await waitFor(
        'two payloads skipped',
        async () => Number(await browser.run('return document.getElementById("counts").dataset.skipped')) ===
                    skipped + 2,
        3000);

    // A console killed outright: the broker's last will greys its tile within 1.5 keep-alives.
    const killed = Date.now();
    consoles[HOSTILE].kill('SIGKILL');
    const gone = await waitFor('OFFLINE', async () => {
        const t = await tile(HOSTILE);
        return t.mode === 'offline' && t;
    }, KEEP_ALIVE_MS * 2, 50);
    const offlineAfter = Date.now() - killed;
    assert.ok(offlineAfter <= KEEP_ALIVE_MS * 1.5, `OFFLINE after ${offlineAfter} ms`);
    assert.match(gone.state, /^OFFLINE since \d\d:\d\d:\d\d$/);
    shot = await browser.screenshot();
    assert.ok(census(shot, gone.box).coloured < 0.002, 'an offline tile is grey');

    // A console whose network went silent (stopped, its connection left open): the broker
    // gives up on it after 1.5 keep-alives by the book; Debian 12's Mosquitto (2.0.11) takes
    // 17 to 20 s with a 10 s keep-alive, whatever the page does. The console back on the
    // network is back on the wall.
    const frozen = Date.now();
    consoles['studio-b'].kill('SIGSTOP');
    await waitFor('OFFLINE of the silent network', async () => (await tile('studio-b')).mode === 'offline',
                  KEEP_ALIVE_MS * 3, 50);
    const frozenAfter = Date.now() - frozen;
    assert.ok(frozenAfter >= KEEP_ALIVE_MS && frozenAfter <= KEEP_ALIVE_MS * 2 + 2000,
              `OFFLINE ${frozenAfter} ms after the network went silent`);
    consoles['studio-b'].kill('SIGCONT');
    await waitFor('studio-b back', async () => (await tile('studio-b')).mode === 'silence', 20000);

    // The broker goes away and comes back: BROKER LOST meanwhile, then the tiles live again.
    await broker.stop();
    await waitFor(
        'BROKER LOST',
        () => browser.run(
            'const b = document.getElementById("banner"); return !b.hidden && b.textContent === "BROKER LOST"'),
        5000);
    const restarted = Date.now();
    await broker.start();
    await waitFor('the tiles back', async () => {
        const back = await browser.run(
            'const m = window.velmoraWall.model.stations.get("studio-a");' +
                'return document.getElementById("banner").hidden && m.levelsAt > arguments[0] && m.levelsT > arguments[0]',
            restarted);
        return back && (await tile('studio-a')).mode === 'live';
    }, 40000);
    assert.strictEqual((await tile('studio-b')).mode, 'silence');
    assert.strictEqual((await tiles()).length, 3);
    console.log(
        `ok: wall in Chromium (OFFLINE ${offlineAfter} ms after kill -9, ${frozenAfter} ms after SIGSTOP; ` +
        `back ${Date.now() - restarted} ms ` +
        `after the broker restarted; ${((Date.now() - started) / 1000).toFixed(1)} s in all)`);
}

async function cleanUp() {
    if (browser) await browser.stop();
    await Promise.all(Object.values(consoles).map((c) => stop(c)));
    if (broker) await broker.stop();
}

main().then(
    async () => {
        await cleanUp();
        fs.rmSync(dir, {recursive : true, force : true});
        process.exit(0);
    },
    async (e) => {
        console.error('FAILED:', e.message);
        for (const f of fs.readdirSync(dir).filter((f) => f.endsWith('.log')))
            console.error(`--- ${f}\n` + fs.readFileSync(path.join(dir, f), 'utf8').slice(-2000));
        await cleanUp();
        process.exit(1);
    },
);
