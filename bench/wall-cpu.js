// The wall page under load: see wall-cpu.sh.
'use strict';
const fs = require('fs');
const path = require('path');
const {top, sleep, freePort, waitFor, Broker, Publisher, Browser, tempDir} =
    require(path.join(__dirname, '..', 'tests', 'wall', 'support.js'));

const STATIONS = 48, RATE_HZ = 10, WARM_UP_S = 20;
const seconds = Number(process.env.WALL_SECONDS);
const CLK_TCK = 100;
function cpuTicks(pid) {
    try {
        const f = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
        return Number(f[11]) + Number(f[12]); // utime, stime
    } catch (e) {
        return 0;
    }
}
const percentile = (sorted, p) => sorted[Math.min(sorted.length - 1, Math.floor((sorted.length - 1) * p))];

// A studio's worth of stations: names, inputs and programme that differ, a few in trouble.
function stations(pub, prefix) {
    const now = Date.now();
    const list = [];
    for (let i = 0; i < STATIONS; ++i) {
        const name =
            [ 'studio', 'news', 'sport', 'feed', 'stream', 'booth' ][i % 6] + '-' + (Math.floor(i / 6) + 1);
        const root = `${prefix}/${name}`;
        pub.publish(`${root}/status`, JSON.stringify({
            state : 'online',
            version : '1.0',
            device : `hw:CARD=PCH${i},DEV=0`,
            since : now,
            dropped : 0
        }),
                    true);
        const silent = i % 17 === 5;
        pub.publish(`${root}/alarm/dead-air`, JSON.stringify({active : silent, since : now - 42000}), true);
        pub.publish(`${root}/alarm/loudness`, JSON.stringify({active : i % 11 === 3, since : now}), true);
        list.push({root, silent, base : -30 + (i % 9) * 2.5, phase : i});
    }
    return list;
}

function levels(s, n) {
    if (s.silent)
        return {
            t : Date.now(),
            peak : [ null, null ],
            vu : [ null, null ],
            corr : null,
            momentary : null,
            short_term : null,
            clip : [ false, false ]
        };
    const wobble = (k) => s.base + 6 * Math.sin((n + s.phase * 7 + k) / 9) + 3 * Math.sin((n + k) * 1.7);
    const l = wobble(0), r = wobble(3);
    return {
        t : Date.now(),
        peak : [ Math.min(0, l), Math.min(0, r) ],
        vu : [ l + 18, r + 18 ],
        corr : 0.6 + 0.3 * Math.sin(n / 20),
        momentary : l - 3,
        short_term : s.base - 3,
        clip : [ l > -1, false ]
    };
}

async function main() {
    const dir = tempDir('velmora-wall-bench');
    const broker = new Broker(dir, await freePort(), await freePort());
    await broker.start();
    const pub = new Publisher(broker.mqttPort, 'wall-bench');
    await pub.connect();
    const list = stations(pub, 'velmora');
    let n = 0;
    // Each station on its own phase in the 100 ms period, as independent consoles would be.
    const timers =
        list.map((s, i) => setTimeout(() => {
                     s.timer = setInterval(() => {
                         pub.publish(`${s.root}/levels`, JSON.stringify(levels(s, ++n / STATIONS)));
                         if (n % (RATE_HZ * STATIONS) < 1)
                             for (const x of list)
                                 pub.publish(`${x.root}/loudness`, JSON.stringify({
                                     t : Date.now(),
                                     integrated : x.silent ? null : x.base - 3.2,
                                     range : 4,
                                     true_peak : [ x.base + 9, x.base + 8 ],
                                     max_momentary : x.base,
                                     max_short_term : x.base - 2,
                                     seconds : 600,
                                     paused : false,
                                     target : -23,
                                     ceiling : -1
                                 }),
                                             true);
                     }, 1000 / RATE_HZ);
                 }, (i * 1000) / RATE_HZ / STATIONS));

    const browser = new Browser();
    const stopAll = async () => {
        timers.forEach(clearTimeout);
        list.forEach((s) => clearInterval(s.timer));
        pub.close();
        await browser.stop();
        await broker.stop();
        fs.rmSync(dir, {recursive : true, force : true});
    };
    try {
        await browser.start(dir, 1920, 1080, [ '--enable-precise-memory-info', '--js-flags=--expose-gc' ]);
        await browser.open(`file://${path.join(top, 'wall', 'index.html')}?broker=ws://127.0.0.1:${
            broker.wsPort}&prefix=velmora`);
        await waitFor('48 tiles',
                      async () => (await browser.run('return document.querySelectorAll(".tile").length')) ===
                                  STATIONS,
                      20000);
        await sleep(WARM_UP_S * 1000);
        if (process.env.WALL_SHOT) await browser.screenshot(process.env.WALL_SHOT);
        const heap = () => browser.run('window.gc(); return performance.memory.usedJSHeapSize');
        const procs = browser.processes().filter((p) => p.type === 'renderer' || p.type === 'gpu-process');
        const cpu0 = procs.map((p) => cpuTicks(p.pid));
        const start = Date.now();
        await browser.run('window.velmoraWall.stats.delayCount = 0');
        const delays = [];
        const heaps = [ await heap() ];
        let lastHeap = Date.now();
        while (Date.now() - start < seconds * 1000) {
            await sleep(5000);
            const got = await browser.run(
                'const s = window.velmoraWall.stats, n = Math.min(s.delayCount, s.delays.length);' +
                'const d = Array.from(s.delays.subarray(0, n)); s.delayCount = 0; return d;');
            delays.push(...got);
            if (Date.now() - lastHeap >= 60000) {
                heaps.push(await heap());
                lastHeap = Date.now();
            }
        }
        const elapsed = (Date.now() - start) / 1000;
        const used = procs.map((p, i) => (cpuTicks(p.pid) - cpu0[i]) / CLK_TCK);
        heaps.push(await heap());
        delays.sort((a, b) => a - b);
        const mb = (b) => (b / 1048576).toFixed(2);
        console.log(`wall-cpu: ${STATIONS} stations at ${RATE_HZ} Hz for ${
            elapsed.toFixed(0)} s, 1920x1080, software rendering`);
        for (let i = 0; i < procs.length; ++i)
            console.log(
                `  ${procs[i].type} ${procs[i].pid}: ${(100 * used[i] / elapsed).toFixed(1)} % of one core`);
        console.log(`  Chromium (renderer + GPU): ${
            (100 * used.reduce((a, b) => a + b, 0) / elapsed).toFixed(1)} % of one core (goal <= 15 %)`);
        console.log(
            `  publish to repaint: median ${percentile(delays, 0.5).toFixed(1)} ms, 99th percentile ` +
            `${percentile(delays, 0.99).toFixed(1)} ms, max ${delays[delays.length - 1].toFixed(1)} ms (${
                delays.length} repaints)`);
        console.log(`  JS heap after gc: ${heaps.map(mb).join(' ')} MB; last against first ` +
                    `${(100 * (heaps[heaps.length - 1] / heaps[0] - 1)).toFixed(1)} % (goal within 10 %)`);
    } finally {
        await stopAll();
    }
}
main().catch((e) => {
    console.error('wall-cpu failed:', e);
    process.exit(1);
});
