// The wall page: connects to the broker over WebSockets, feeds the model (wall-state.js) and
// draws the tiles. Messages only mark tiles dirty; each dirty tile's bars are drawn at most
// once per animation frame (and at most 20 times a second), whatever the message rate. The
// read-outs, whose text costs the page a layout, change four times a second, as LED digits a
// studio reads. Every text from the network goes in as text.
(function() {
'use strict';
const W = window.WallState;
const STORE = 'velmora-wall';
const TICK_MS = 250;
const DELAYS = 4096; // publish-to-repaint delays kept for the bench, a ring
const PHONE_WIDTH = 560;

const stats = {
    delays : new Float64Array(DELAYS),
    delayCount : 0,
    frames : 0,
    messages : 0
};

// The set-up: the address wins over what this browser kept, and is kept in turn.
function loadConfig() {
    let kept = {};
    try {
        kept = JSON.parse(localStorage.getItem(STORE) || '{}') || {};
    } catch (e) {
        kept = {};
    }
    const query = new URLSearchParams(location.search);
    const cfg = {};
    for (const key of ['broker', 'prefix', 'user', 'password']) {
        const v = query.has(key) ? query.get(key) : kept[key];
        cfg[key] = typeof v === 'string' ? v : '';
    }
    if (cfg.broker === '')
        cfg.broker = (location.protocol === 'https:' ? 'wss://' : 'ws://') +
                     (location.hostname || 'localhost') + ':9001';
    return cfg;
}
function saveConfig(cfg) {
    try {
        localStorage.setItem(STORE, JSON.stringify(cfg));
    } catch (e) {
        // A browser that keeps nothing (private mode, file pages in some): the address still works.
    }
}

const cfg = loadConfig();
saveConfig(cfg);
const model = new W.WallModel(cfg.prefix);

const grid = document.getElementById('grid');
const banner = document.getElementById('banner');
const counts = document.getElementById('counts');
const eventList = document.getElementById('event-list');
const template = document.getElementById('tile');
document.getElementById('where').textContent = cfg.broker + '  ' + model.prefix + '/#';

const tiles = new Map();     // station name -> its elements
const dirty = new Set();     // bars to draw
const textDirty = new Set(); // read-outs to write
let layoutDirty = true;
let frameAsked = false;

function setText(el, s) {
    if (el.textContent !== s) el.textContent = s;
}

function makeTile(name) {
    const el = template.content.firstElementChild.cloneNode(true);
    const q = (c) => el.querySelector('.' + c);
    const tile = {
        el,
        state : q('state'),
        canvas : q('bars'),
        momentary : q('momentary'),
        shortTerm : q('short-term'),
        integrated : q('integrated'),
        truePeak : q('true-peak'),
        peakL : q('peak-l'),
        peakR : q('peak-r'),
        corr : q('corr'),
        input : q('input'),
        mode : '',
        paintedT : 0,
        textAt : -1,
    };
    tile.ctx = tile.canvas.getContext('2d', {alpha : false});
    q('name').textContent = name;
    el.title = name;
    el.dataset.station = name;
    tiles.set(name, tile);
    return tile;
}

// Columns that give the largest legible tiles: a tile wants to be about 2.4 times as wide as high.
function columnsFor(n, width, height) {
    let best = 1, bestUnit = 0;
    for (let c = 1; c <= Math.max(1, n); ++c) {
        const rows = Math.ceil(n / c);
        const unit = Math.min(width / c / 2.4, height / rows);
        if (unit > bestUnit + 0.5) {
            best = c;
            bestUnit = unit;
        }
    }
    return best;
}

function layout() {
    layoutDirty = false;
    const list = model.shown();
    const keep = new Set(list.map((st) => st.name));
    for (const [name, tile] of tiles)
        if (!keep.has(name)) {
            tile.el.remove();
            tiles.delete(name);
        }
    list.forEach((st, i) => {
        const tile = tiles.get(st.name) || makeTile(st.name);
        if (grid.children[i] !== tile.el) grid.insertBefore(tile.el, grid.children[i] || null);
    });
    const n = Math.max(1, list.length), gap = 3;
    let columns = 1, height = 150;
    if (window.innerWidth > PHONE_WIDTH) {
        const width = grid.clientWidth - 2 * gap, room = grid.clientHeight - 2 * gap;
        columns = columnsFor(n, width, room);
        const rows = Math.ceil(n / columns);
        height = Math.floor(
            Math.min((room - gap * (rows - 1)) / rows, ((width - gap * (columns - 1)) / columns) / 1.6));
    }
    grid.style.gridTemplateColumns = 'repeat(' + columns + ', minmax(0, 1fr))';
    grid.style.gridAutoRows = height + 'px';
    grid.style.setProperty('--th', height + 'px');
    grid.style.setProperty('--tw', Math.floor((grid.clientWidth - gap * (columns + 1)) / columns) + 'px');
    const ratio = window.devicePixelRatio || 1;
    for (const tile of tiles.values()) {
        const w = Math.max(1, Math.round(tile.canvas.clientWidth * ratio));
        const h = Math.max(1, Math.round(tile.canvas.clientHeight * ratio));
        if (tile.canvas.width !== w || tile.canvas.height !== h) {
            tile.canvas.width = w;
            tile.canvas.height = h;
        }
        dirty.add(tile.el.dataset.station);
        textDirty.add(tile.el.dataset.station);
    }
    setText(counts, list.length + ' stations  ' + model.skipped + ' skipped');
}

const BLUE = '#4789ed', BLUE_DIM = '#10204a', RED = '#fe0000', RED_DIM = '#370000';
const RED_FROM = -20; // dBFS: the console's bars turn red above it
let segments = null;  // the LED segments' gaps, one pattern for every bar

function draw(tile, st) {
    const ctx = tile.ctx, cw = tile.canvas.width, ch = tile.canvas.height;
    if (segments === null) {
        const c = document.createElement('canvas');
        c.width = 3;
        c.height = 1;
        const g = c.getContext('2d');
        g.fillStyle = '#000';
        g.fillRect(2, 0, 1, 1);
        segments = ctx.createPattern(c, 'repeat');
    }
    ctx.fillStyle = '#000';
    ctx.fillRect(0, 0, cw, ch);
    const lamp = Math.max(6, Math.round(ch * 0.42)), barW = cw - lamp - 3;
    const xOf = (db) => Math.round((Math.min(0, Math.max(W.SCALE_BOTTOM, db)) / -W.SCALE_BOTTOM + 1) * barW);
    const xRed = xOf(RED_FROM);
    const rows = [
        [ 0, Math.round(ch * 0.3) ],
        [ Math.round(ch * 0.4), Math.round(ch * 0.3) ],
    ];
    for (let i = 0; i < 2; ++i) {
        const [y, h] = rows[i];
        const x = xOf(st.shown[i]);
        ctx.fillStyle = BLUE_DIM;
        ctx.fillRect(0, y, xRed, h);
        ctx.fillStyle = RED_DIM;
        ctx.fillRect(xRed, y, barW - xRed, h);
        ctx.fillStyle = BLUE;
        ctx.fillRect(0, y, Math.min(x, xRed), h);
        if (x > xRed) {
            ctx.fillStyle = RED;
            ctx.fillRect(xRed, y, x - xRed, h);
        }
        ctx.fillStyle = segments;
        ctx.fillRect(0, y, barW, h);
        ctx.fillStyle = st.clip[i] ? RED : RED_DIM;
        ctx.fillRect(cw - lamp, y, lamp, h);
    }
    // The scale between the bars, a tick each 10 dB.
    ctx.fillStyle = '#9a9a9a';
    const tickY = Math.round(ch * 0.31), tickH = Math.max(1, Math.round(ch * 0.08));
    for (let db = W.SCALE_BOTTOM; db <= 0; db += 10)
        ctx.fillRect(Math.min(barW - 1, xOf(db)), tickY, 1, tickH);
    ctx.fillStyle = '#09bc09';
    ctx.fillRect(xRed, tickY, 1, tickH);

    // Momentary (bar) and short-term (white mark) loudness against the target (yellow line),
    // from 20 LU under it to 10 LU over.
    const ly = Math.round(ch * 0.8), lh = ch - ly;
    const xLu = (lufs) => Math.round(Math.min(1, Math.max(0, (lufs - st.target + 20) / 30)) * barW);
    const xTarget = xLu(st.target), xM = Number.isFinite(st.momentary) ? xLu(st.momentary) : 0;
    ctx.fillStyle = '#0b1a0b';
    ctx.fillRect(0, ly, barW, lh);
    ctx.fillStyle = '#09bc09';
    ctx.fillRect(0, ly, Math.min(xM, xTarget), lh);
    if (xM > xTarget) {
        ctx.fillStyle = '#e8a000';
        ctx.fillRect(xTarget, ly, xM - xTarget, lh);
    }
    if (Number.isFinite(st.shortTerm)) {
        ctx.fillStyle = '#ffffff';
        ctx.fillRect(Math.max(0, xLu(st.shortTerm) - 1), ly, 2, lh);
    }
    ctx.fillStyle = '#ffff00';
    ctx.fillRect(xTarget - 1, ly, 2, lh);
}

function writeTexts(tile, st, now) {
    tile.textAt = st.levelsAt;
    const view = W.tileState(st, now);
    if (tile.mode !== view.mode) {
        tile.el.classList.remove(tile.mode || 'live');
        tile.el.classList.add(view.mode);
        tile.el.dataset.mode = view.mode;
        tile.mode = view.mode;
    }
    setText(tile.state, view.text);
    setText(tile.momentary, W.dbText(st.momentary));
    setText(tile.shortTerm, W.dbText(st.shortTerm));
    setText(tile.integrated, W.dbText(st.integrated));
    setText(tile.truePeak, W.dbText(Math.max(st.truePeak[0], st.truePeak[1])));
    tile.integrated.classList.toggle('alarm', st.loudnessAlarm);
    tile.truePeak.classList.toggle('alarm', st.loudnessAlarm);
    setText(tile.peakL, W.dbText(st.peak[0]));
    setText(tile.peakR, W.dbText(st.peak[1]));
    setText(tile.corr, W.corrText(st.corr));
    setText(tile.input, st.device);
}

function drawBars(tile, st, now) {
    draw(tile, st);
    if (st.levelsT !== tile.paintedT) {
        tile.paintedT = st.levelsT;
        stats.delays[stats.delayCount++ % DELAYS] = now - st.levelsT;
    }
}

const MIN_FRAME_MS = 45;
let lastFrame = -Infinity;
function frame(time) {
    if (time - lastFrame < MIN_FRAME_MS && !layoutDirty) {
        requestAnimationFrame(frame);
        return;
    }
    frameAsked = false;
    lastFrame = time;
    if (layoutDirty) layout();
    const now = Date.now();
    for (const [set, paint] of [[ textDirty, writeTexts ], [ dirty, drawBars ]]) {
        for (const name of set) {
            const st = model.stations.get(name), tile = tiles.get(name);
            if (st !== undefined && tile !== undefined) paint(tile, st, now);
        }
        set.clear();
    }
    ++stats.frames;
}
function askFrame() {
    if (!frameAsked) {
        frameAsked = true;
        requestAnimationFrame(frame);
    }
}

let eventsShown = null;
function showEvents() {
    if (model.events[0] === eventsShown) return;
    eventsShown = model.events[0];
    const items = model.events.map((e) => {
        const li = document.createElement('li');
        for (const [cls, s] of [[ 'ev-time', e.time ],
                                [ 'ev-station', e.station ],
                                [ 'ev-kind', e.event ],
                                [ 'ev-channel', e.channel ],
                                [ 'ev-peak', Number.isFinite(e.peak) ? W.dbText(e.peak, 2) : '' ],
        ]) {
            const span = document.createElement('span');
            span.className = cls;
            span.textContent = s;
            li.appendChild(span);
        }
        return li;
    });
    eventList.replaceChildren(...items);
}

// The clocks the tiles show (SILENCE, NO DATA) and the day-old stations' going.
function tick() {
    const now = Date.now();
    const flash = Math.floor(now / 500) % 2 === 1;
    if (model.prune(now)) layoutDirty = true;
    for (const [name, tile] of tiles) {
        const st = model.stations.get(name);
        if (st === undefined) continue;
        const view = W.tileState(st, now);
        tile.el.classList.toggle('flash', flash && tile.mode === 'silence');
        if (view.mode !== tile.mode || view.text !== tile.state.textContent || st.levelsAt !== tile.textAt)
            textDirty.add(name);
    }
    setText(counts, tiles.size + ' stations  ' + model.skipped + ' skipped');
    counts.dataset.skipped = String(model.skipped);
    showEvents();
    if (layoutDirty || dirty.size > 0 || textDirty.size > 0) askFrame();
}

function setBanner(text, connecting) {
    banner.hidden = text === '';
    banner.classList.toggle('connecting', connecting);
    setText(banner, text);
}

function connect() {
    const options = {
        clientId : 'velmora-wall-' + Math.random().toString(16).slice(2, 10),
        clean : true,
        keepalive : 10,
        reconnectPeriod : 1000,
        connectTimeout : 5000,
        resubscribe : true,
    };
    if (cfg.user !== '') options.username = cfg.user;
    if (cfg.password !== '') options.password = cfg.password;
    let client;
    try {
        client = mqtt.connect(cfg.broker, options);
    } catch (e) {
        setBanner('BROKER ADDRESS REFUSED: ' + cfg.broker, false);
        document.getElementById('setup').hidden = false;
        return;
    }
    const decoder = new TextDecoder('utf-8');
    let everConnected = false;
    client.on('connect', () => {
        everConnected = true;
        setBanner('', false);
        client.subscribe(model.prefix + '/#', {qos : 1});
    });
    const lost = () => setBanner(everConnected ? 'BROKER LOST' : 'CONNECTING ' + cfg.broker, !everConnected);
    client.on('close', lost);
    client.on('offline', lost);
    client.on('error', lost);
    client.on('message', (topic, payload) => {
        ++stats.messages;
        const known = model.stations.get(topic.slice(model.prefix.length + 1).split('/')[0]);
        const wasShown = known !== undefined && known.online !== null;
        const st = model.handle(topic, decoder.decode(payload), Date.now());
        if (st === null) return;
        if (st.online !== null && !wasShown) layoutDirty = true;
        dirty.add(st.name);
        if (!topic.endsWith('/levels')) textDirty.add(st.name);
        askFrame();
    });
}

function setUpForm() {
    const form = document.getElementById('setup');
    const events = document.getElementById('events');
    document.getElementById('setup-button').addEventListener('click', () => {
        form.hidden = !form.hidden;
        events.hidden = true;
        for (const key of ['broker', 'prefix', 'user', 'password'])
            form.elements[key].value = cfg[key];
    });
    document.getElementById('events-button').addEventListener('click', () => {
        events.hidden = !events.hidden;
        form.hidden = true;
    });
    form.addEventListener('submit', (e) => {
        e.preventDefault();
        const next = {};
        for (const key of ['broker', 'prefix', 'user', 'password'])
            next[key] = form.elements[key].value.trim();
        saveConfig(next);
        // The address's own set-up would win over the form's: start again without it.
        location.replace(location.pathname);
    });
}

window.addEventListener('resize', () => {
    layoutDirty = true;
    askFrame();
});
setUpForm();
setBanner('CONNECTING ' + cfg.broker, true);
window.velmoraWall = {
    model,
    stats
};
setInterval(tick, TICK_MS);
connect();
askFrame();
})();
