// What the wall's browser test and bench need, from Node's own library alone: free ports, a
// private Mosquitto made from the shipped configuration, a bare MQTT publisher, a WebDriver
// client for chromedriver, and a PNG reader for its screenshots.
'use strict';
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const {spawn, spawnSync} = require('child_process');

const top = path.resolve(__dirname, '..', '..');
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function which(program, extra = []) {
    const dirs = (process.env.PATH || '').split(':').concat(extra);
    for (const d of dirs) {
        const p = path.join(d, program);
        try {
            fs.accessSync(p, fs.constants.X_OK);
            return p;
        } catch (e) {
            // not here
        }
    }
    return null;
}

function freePort() {
    return new Promise((resolve, reject) => {
        const s = net.createServer();
        s.once('error', reject);
        s.listen(0, '127.0.0.1', () => {
            const port = s.address().port;
            s.close(() => resolve(port));
        });
    });
}

function portAnswers(port) {
    return new Promise((resolve) => {
        const s = net.connect(port, '127.0.0.1');
        s.once('connect', () => {
            s.destroy();
            resolve(true);
        });
        s.once('error', () => resolve(false));
    });
}

async function waitFor(what, check, ms, every = 100) {
    const deadline = Date.now() + ms;
    for (;;) {
        const v = await check();
        if (v) return v;
        if (Date.now() > deadline) throw new Error('timed out waiting for ' + what);
        await sleep(every);
    }
}

function stop(child, signal = 'SIGTERM') {
    if (child && child.exitCode === null && child.signalCode === null) {
        try {
            process.kill(child.pid, signal);
        } catch (e) {
            // already gone
        }
    }
    return new Promise((resolve) => {
        if (!child || child.exitCode !== null || child.signalCode !== null) return resolve();
        const t = setTimeout(() => {
            try {
                process.kill(child.pid, 'SIGKILL');
            } catch (e) {
                // gone meanwhile
            }
        }, 5000);
        child.once('exit', () => {
            clearTimeout(t);
            resolve();
        });
    });
}

// Mosquitto on two free loopback ports, from tools/mosquitto-velmora.conf with its ports
// changed; Start() again after Stop() comes back on the same ports.
class Broker {
    constructor(dir, mqttPort, wsPort) {
        this.dir = dir;
        this.mqttPort = mqttPort;
        this.wsPort = wsPort;
        this.conf = path.join(dir, 'mosquitto.conf');
        const shipped = fs.readFileSync(path.join(top, 'tools', 'mosquitto-velmora.conf'), 'utf8');
        const mine = shipped.replace(/^listener 1883$/m, `listener ${mqttPort} 127.0.0.1`)
                         .replace(/^listener 9001$/m, `listener ${wsPort} 127.0.0.1`);
        if (mine === shipped)
            throw new Error('tools/mosquitto-velmora.conf has no listeners on 1883 and 9001');
        // Run as root, the broker would become "mosquitto", who cannot read the test's files.
        const user = process.getuid() === 0 ? 'root' : 'mosquitto';
        fs.writeFileSync(this.conf, `user ${user}\npersistence false\n${mine}`);
        this.child = null;
    }
    static program() { return which('mosquitto', [ '/usr/sbin', '/usr/local/sbin' ]); }
    async start() {
        const log = fs.openSync(path.join(this.dir, 'broker.log'), 'a');
        this.child = spawn(Broker.program(), [ '-c', this.conf ], {stdio : [ 'ignore', 'ignore', log ]});
        fs.closeSync(log);
        await waitFor('the broker',
                      async () => (await portAnswers(this.mqttPort)) && portAnswers(this.wsPort), 5000, 50);
    }
    stop() { return stop(this.child); }
    log() { return fs.readFileSync(path.join(this.dir, 'broker.log'), 'utf8'); }
}

// MQTT 3.1.1 over TCP, QoS 0 only: enough to play stations.
class Publisher {
    constructor(port, clientId) {
        this.port = port;
        this.clientId = clientId;
    }
    static length(n) {
        const out = [];
        do {
            let b = n % 128;
            n = Math.floor(n / 128);
            if (n > 0) b |= 128;
            out.push(b);
        } while (n > 0);
        return Buffer.from(out);
    }
    static text(s) {
        const b = Buffer.from(s, 'utf8');
        const l = Buffer.alloc(2);
        l.writeUInt16BE(b.length);
        return Buffer.concat([ l, b ]);
    }
    static packet(type, body) {
        return Buffer.concat([ Buffer.from([ type ]), Publisher.length(body.length), body ]);
    }
    connect() {
        return new Promise((resolve, reject) => {
            this.socket = net.connect(this.port, '127.0.0.1');
            this.socket.setNoDelay(true);
            this.socket.once('error', reject);
            this.socket.once('data',
                             (d) => (d[0] === 0x20 && d[3] === 0 ? resolve() : reject(new Error('refused'))));
            // Protocol "MQTT" level 4, clean session, keep-alive 60 s.
            const header = Buffer.concat([ Publisher.text('MQTT'), Buffer.from([ 4, 2, 0, 60 ]) ]);
            this.socket.write(
                Publisher.packet(0x10, Buffer.concat([ header, Publisher.text(this.clientId) ])));
            this.ping = setInterval(() => this.socket.write(Buffer.from([ 0xc0, 0 ])), 30000);
            this.socket.on('data', () => {}); // ping answers
        });
    }
    publish(topic, payload, retain = false) {
        const body = Buffer.concat([ Publisher.text(topic), Buffer.from(payload, 'utf8') ]);
        return this.socket.write(Publisher.packet(retain ? 0x31 : 0x30, body));
    }
    close() {
        clearInterval(this.ping);
        if (this.socket) this.socket.end(Buffer.from([ 0xe0, 0 ]));
    }
}

// chromedriver, its own process group so the browser it starts goes with it.
class Browser {
    static programs() {
        const chromium = which('chromium') || which('chromium-browser');
        const driver = which('chromedriver', [ '/usr/lib/chromium' ]);
        return chromium && driver ? {chromium, driver} : null;
    }
    async start(dir, width, height, extra = []) {
        const {chromium, driver} = Browser.programs();
        this.port = await freePort();
        const log = fs.openSync(path.join(dir, 'chromedriver.log'), 'a');
        this.child =
            spawn(driver, [ `--port=${this.port}` ], {stdio : [ 'ignore', log, log ], detached : true});
        fs.closeSync(log);
        await waitFor('chromedriver', () => portAnswers(this.port), 10000, 50);
        const args = [
            '--headless=new',
            `--user-data-dir=${path.join(dir, 'profile')}`,
            `--window-size=${width},${height}`,
            '--force-device-scale-factor=1',
            '--hide-scrollbars',
            '--disable-gpu',
            '--no-first-run',
            '--disable-extensions',
            '--disable-background-networking',
            '--disable-dev-shm-usage',
        ];
        args.push(...extra);
        if (process.getuid() === 0) args.push('--no-sandbox');
        const caps = {capabilities : {alwaysMatch : {'goog:chromeOptions' : {binary : chromium, args}}}};
        const session = await this.command('POST', '/session', caps);
        this.session = session.sessionId;
    }
    async command(method, url, body) {
        const r = await fetch(`http://127.0.0.1:${this.port}${url}`, {
            method,
            headers : {'Content-Type' : 'application/json'},
            body : body === undefined ? undefined : JSON.stringify(body),
        });
        const json = await r.json();
        if (!r.ok) {
            const e = new Error(
                `${method} ${url}: ${json.value && json.value.error} ${json.value && json.value.message}`);
            e.code = json.value && json.value.error;
            throw e;
        }
        return json.value;
    }
    open(url) { return this.command('POST', `/session/${this.session}/url`, {url}); }
    run(script, ...args) {
        return this.command('POST', `/session/${this.session}/execute/sync`, {script, args});
    }
    async screenshot(file) {
        const png = Buffer.from(await this.command('GET', `/session/${this.session}/screenshot`), 'base64');
        if (file) fs.writeFileSync(file, png);
        return readPng(png);
    }
    // The renderer and GPU processes' PIDs: the browser's children that say their --type.
    processes() {
        const out =
            spawnSync('ps', [ '-o', 'pid=,args=', '-g', String(this.child.pid) ], {encoding : 'utf8'}).stdout;
        return out.split('\n')
            .map((l) => l.trim().match(/^(\d+) (.*)$/))
            .filter((m) => m && /chrom/.test(m[2]))
            .map(
                (m) => (
                    {pid : Number(m[1]), type : (m[2].match(/--type=([a-z-]+)/) || [ null, 'browser' ])[1]}));
    }
    async stop() {
        if (this.session) await this.command('DELETE', `/session/${this.session}`).catch(() => {});
        if (this.child) {
            try {
                process.kill(-this.child.pid, 'SIGTERM'); // the group: chromedriver and what it started
            } catch (e) {
                // gone
            }
            await stop(this.child);
        }
    }
}

// 8-bit RGB or RGBA, not interlaced: what Chromium's screenshots are.
function readPng(buffer) {
    let pos = 8, width = 0, height = 0, type = 0;
    const idat = [];
    while (pos < buffer.length) {
        const len = buffer.readUInt32BE(pos), name = buffer.toString('latin1', pos + 4, pos + 8);
        const data = buffer.subarray(pos + 8, pos + 8 + len);
        if (name === 'IHDR') {
            width = data.readUInt32BE(0);
            height = data.readUInt32BE(4);
            type = data[9];
            if (data[8] !== 8 || (type !== 2 && type !== 6) || data[12] !== 0)
                throw new Error('unexpected PNG');
        } else if (name === 'IDAT')
            idat.push(data);
        pos += 12 + len;
    }
    const bpp = type === 6 ? 4 : 3, stride = width * bpp;
    const raw = zlib.inflateSync(Buffer.concat(idat));
    const px = Buffer.alloc(stride * height);
    for (let y = 0; y < height; ++y) {
        const f = raw[y * (stride + 1)], row = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
        for (let x = 0; x < stride; ++x) {
            const a = x >= bpp ? px[y * stride + x - bpp] : 0;
            const b = y > 0 ? px[(y - 1) * stride + x] : 0;
            const c = x >= bpp && y > 0 ? px[(y - 1) * stride + x - bpp] : 0;
            let v = row[x];
            if (f === 1)
                v += a;
            else if (f === 2)
                v += b;
            else if (f === 3)
                v += (a + b) >> 1;
            else if (f === 4) {
                const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
                v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            px[y * stride + x] = v & 255;
        }
    }
    return {
        width,
        height,
        at(x, y) {
            const i = Math.round(y) * stride + Math.round(x) * bpp;
            return [ px[i], px[i + 1], px[i + 2] ];
        },
    };
}

function tempDir(name) { return fs.mkdtempSync(path.join(os.tmpdir(), name + '-')); }

module.exports = {
    top,
    sleep,
    which,
    freePort,
    waitFor,
    stop,
    Broker,
    Publisher,
    Browser,
    readPng,
    tempDir
};
