// The wall's model of the studio network, with no page behind it: each message's topic and
// payload become a station's state, and what a tile shows follows from that state and the
// clock. The page (wall.js) draws it; Node runs it for the tests.
//
// Everything here comes from the network, so nothing is trusted: a payload that is not the
// JSON object the console sends is skipped and counted, numbers are clamped to their range,
// texts are cut to a length, and every collection has a bound.
(function(root, factory) {
if (typeof module === 'object' && module.exports)
    module.exports = factory();
else
    root.WallState = factory();
})(typeof self !== 'undefined' ? self : this, function() {
'use strict';

const NO_DATA_MS = 3000;
const DROP_AFTER_MS = 24 * 3600 * 1000;
// A name heard without a status is no station yet; a stream of made-up names must not pile up.
const UNANNOUNCED_DROP_MS = 60 * 1000;
const MAX_EVENTS = 50;
const MAX_STATIONS = 256;
const MAX_TEXT = 96;
// The PEAK bars' scale (dBFS) and their return, as the console's digital bars: 20 dB in 1.7 s.
const SCALE_BOTTOM = -60;
const FALL_DB_PER_S = 20 / 1.7;

class Skip extends Error {}

// As the console cleans its topic levels: "/", "+", "#" and control characters become "_".
function topicLevel(text) {
    const out = String(text).replace(/[/+#\u0000-\u001f\u007f]/g, '_');
    return out === '' ? '_' : out;
}
function topicPrefix(prefix) {
    const p = String(prefix || '').trim();
    return p === '' ? 'velmora' : p.split('/').map(topicLevel).join('/');
}

function clamp(v, lo, hi) { return v < lo ? lo : v > hi ? hi : v; }
// A level in dB: null is nothing measured (-inf).
function level(v, lo, hi) {
    if (v === null) return -Infinity;
    if (typeof v !== 'number' || !Number.isFinite(v)) throw new Skip();
    return clamp(v, lo, hi);
}
function number(v, lo, hi) {
    if (typeof v !== 'number' || !Number.isFinite(v)) throw new Skip();
    return clamp(v, lo, hi);
}
function pair(v, each) {
    if (!Array.isArray(v) || v.length !== 2) throw new Skip();
    return [ each(v[0]), each(v[1]) ];
}
function bool(v) {
    if (typeof v !== 'boolean') throw new Skip();
    return v;
}
function text(v) {
    if (typeof v !== 'string') throw new Skip();
    return v.length > MAX_TEXT ? v.slice(0, MAX_TEXT) + '\u2026' : v;
}
// Epoch milliseconds; a year 0..9999 bound keeps the clock's arithmetic finite.
function time(v) { return number(v, 0, 253402300799999); }

function newStation(name, now) {
    return {
        name : name,
        online : null, // no status heard yet: no tile
        onlineAt : now,
        offlineAt : 0,
        heardAt : now,
        firstAt : now,
        version : '',
        device : '',
        levelsAt : 0,
        levelsT : 0,                            // the publisher's clock of the newest levels
        peak : [ -Infinity, -Infinity ],        // the last message's
        shown : [ SCALE_BOTTOM, SCALE_BOTTOM ], // the bars, falling back as the console's do
        clip : [ false, false ],
        corr : null,
        momentary : -Infinity,
        shortTerm : -Infinity,
        integrated : -Infinity,
        truePeak : [ -Infinity, -Infinity ],
        target : -23,
        ceiling : -1,
        loudnessAlarm : false,
        deadAir : false,
        deadAirSince : 0,
    };
}

// Each leaf reads its whole payload first and only then returns the change to make, so a
// payload refused halfway leaves the station as it was.
const LEAVES = {
    status(p) {
        if (p.state !== 'online' && p.state !== 'offline') throw new Skip();
        const online = p.state === 'online';
        const version = text(p.version), device = text(p.device);
        time(p.since);
        return (st, now) => {
            // The last will carries the time publishing began, not when the console vanished: the
            // page's own clock says when it heard of it.
            if (!online && st.online !== false) st.offlineAt = now;
            if (online && st.online !== true) st.onlineAt = now;
            st.online = online;
            st.version = version;
            st.device = device;
        };
    },
    levels(p) {
        const t = time(p.t);
        const peak = pair(p.peak, (v) => level(v, -200, 0));
        const clip = pair(p.clip, bool);
        const corr = p.corr === null ? null : number(p.corr, -1, 1);
        const momentary = level(p.momentary, -200, 20), shortTerm = level(p.short_term, -200, 20);
        return (st, now) => {
            const dt = st.levelsAt > 0 ? Math.max(0, now - st.levelsAt) / 1000 : Infinity;
            for (let i = 0; i < 2; ++i)
                st.shown[i] = Math.max(SCALE_BOTTOM, peak[i], st.shown[i] - FALL_DB_PER_S * dt);
            st.peak = peak;
            st.clip = clip;
            st.corr = corr;
            st.momentary = momentary;
            st.shortTerm = shortTerm;
            st.levelsAt = now;
            st.levelsT = t;
        };
    },
    loudness(p) {
        const integrated = level(p.integrated, -200, 20);
        const truePeak = pair(p.true_peak, (v) => level(v, -200, 20));
        const target = Math.round(number(p.target, -70, 0));
        const ceiling = Math.round(number(p.ceiling, -70, 0));
        return (st) => {
            st.integrated = integrated;
            st.truePeak = truePeak;
            st.target = target;
            st.ceiling = ceiling;
        };
    },
    'alarm/dead-air'(p) {
        const active = bool(p.active), since = time(p.since);
        return (st) => {
            st.deadAir = active;
            st.deadAirSince = since;
        };
    },
    'alarm/loudness'(p) {
        const active = bool(p.active);
        time(p.since);
        return (st) => { st.loudnessAlarm = active; };
    },
};

function parseEvent(station, p) {
    return {
        station : station,
        time : text(p.time),
        event : text(p.event),
        channel : text(p.channel),
        samples : Math.round(number(p.samples, 0, Number.MAX_SAFE_INTEGER)),
        peak : level(p.peak_dbfs, -200, 20),
    };
}

class WallModel {
    constructor(prefix) {
        this.prefix = topicPrefix(prefix);
        this.stations = new Map();
        this.events = []; // newest first
        this.skipped = 0; // payloads that were not what the console sends
        this.refused = 0; // new stations over the bound
    }

    // One message; returns the station it changed, or null when it was not for the wall.
    handle(topic, payload, now) {
        if (typeof topic !== 'string' || !topic.startsWith(this.prefix + '/')) return null;
        const rest = topic.slice(this.prefix.length + 1);
        const slash = rest.indexOf('/');
        if (slash <= 0) return null;
        const name = rest.slice(0, slash), leaf = rest.slice(slash + 1);
        if (leaf !== 'events' && !Object.prototype.hasOwnProperty.call(LEAVES, leaf)) return null;
        let p;
        try {
            p = JSON.parse(payload);
        } catch (e) {
            ++this.skipped;
            return null;
        }
        if (p === null || typeof p !== 'object' || Array.isArray(p)) {
            ++this.skipped;
            return null;
        }
        let st = this.stations.get(name);
        if (st === undefined && this.stations.size >= MAX_STATIONS) {
            ++this.refused;
            return null;
        }
        let change;
        try {
            if (leaf === 'events') {
                const event = parseEvent(name, p);
                change = () => {
                    this.events.unshift(event);
                    if (this.events.length > MAX_EVENTS) this.events.length = MAX_EVENTS;
                };
            } else
                change = LEAVES[leaf](p);
        } catch (e) {
            if (!(e instanceof Skip)) throw e;
            ++this.skipped;
            return null;
        }
        if (st === undefined) {
            st = newStation(name, now);
            this.stations.set(name, st);
        }
        change(st, now);
        st.heardAt = now;
        return st;
    }

    // Stations with a tile, in name order (numbers in names in their order: studio-9 < studio-10).
    shown() {
        const list = [];
        for (const st of this.stations.values())
            if (st.online !== null) list.push(st);
        return list.sort(byName);
    }

    // Forgets stations gone for a day, and names that never said their status.
    prune(now) {
        let dropped = false;
        for (const [name, st] of this.stations) {
            const gone = now - st.heardAt > DROP_AFTER_MS ||
                         (st.online === false && now - st.offlineAt > DROP_AFTER_MS) ||
                         (st.online === null && now - st.firstAt > UNANNOUNCED_DROP_MS);
            if (gone) {
                this.stations.delete(name);
                dropped = true;
            }
        }
        return dropped;
    }
}

const collator =
    typeof Intl !== 'undefined' ? new Intl.Collator('en', {numeric : true, sensitivity : 'variant'}) : null;
function byName(a, b) {
    const c = collator ? collator.compare(a.name, b.name) : 0;
    return c !== 0 ? c : a.name < b.name ? -1 : a.name > b.name ? 1 : 0;
}

function pad2(n) { return (n < 10 ? '0' : '') + n; }
function clockText(ms) {
    const d = new Date(ms);
    return pad2(d.getHours()) + ':' + pad2(d.getMinutes()) + ':' + pad2(d.getSeconds());
}
function minSec(ms) {
    const s = Math.floor(Math.max(0, ms) / 1000);
    return Math.floor(s / 60) + ':' + pad2(s % 60);
}

// What the tile says over its meters: the worst of its states.
function tileState(st, now) {
    if (st.online === false) return {mode : 'offline', text : 'OFFLINE since ' + clockText(st.offlineAt)};
    if (st.deadAir) return {mode : 'silence', text : 'SILENCE ' + minSec(now - st.deadAirSince)};
    if (now - Math.max(st.levelsAt, st.onlineAt) > NO_DATA_MS) return {mode : 'nodata', text : 'NO DATA'};
    return {mode : 'live', text : ''};
}

// A read-out: one decimal, "-inf" shown as a dash.
function dbText(v, decimals) {
    if (!Number.isFinite(v)) return '\u2014';
    const t = v.toFixed(decimals === undefined ? 1 : decimals);
    return /^-0\.?0*$/.test(t) ? t.slice(1) : t;
}
function corrText(v) {
    if (v === null) return '\u2014';
    const t = v.toFixed(2);
    return v > 0 && t !== '0.00' ? '+' + t : t === '-0.00' ? '0.00' : t;
}

return {
    WallModel,
    tileState,
    topicPrefix,
    dbText,
    corrText,
    clockText,
    minSec,
    NO_DATA_MS,
    DROP_AFTER_MS,
    MAX_EVENTS,
    MAX_STATIONS,
    SCALE_BOTTOM,
    FALL_DB_PER_S,
};
});
