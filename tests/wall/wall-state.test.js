// The wall's model: the console's payloads become what the tiles show, anything else is
// skipped and counted, and nothing grows without bound.
'use strict';
const test = require('node:test');
const assert = require('assert');
const W = require('../../wall/wall-state.js');

const T0 = Date.UTC(2026, 11, 8, 14, 3, 12);
const status = (state) =>
    JSON.stringify({state, version : '1.0', device : 'default', since : T0 - 5000, dropped : 0});
const levels = (peak, extra = {}) => JSON.stringify(
    Object.assign(
        {
            t : T0,
            peak,
            vu : [ null, null ],
            corr : 1,
            momentary : -23.02,
            short_term : -23.05,
            clip : [ false, true ]
        },
        extra,
        ),
);

function online(model, name, now = T0) {
    model.handle(`velmora/${name}/status`, status('online'), now);
    return model.stations.get(name);
}

test('the console payloads become the tile state', () => {
    const m = new W.WallModel('velmora');
    const st = online(m, 'studio-7');
    m.handle('velmora/studio-7/levels', levels([ -20, null ]), T0 + 100);
    assert.deepStrictEqual(st.peak, [ -20, -Infinity ]);
    assert.deepStrictEqual(st.clip, [ false, true ]);
    assert.strictEqual(m.stations.get('studio-7').shortTerm, -23.05);
    m.handle(
        'velmora/studio-7/loudness',
        '{"t":1,"integrated":-23.01,"range":0.00,"true_peak":[-20.00,null],"max_momentary":-23.00,' +
            '"max_short_term":-23.04,"seconds":61.00,"paused":false,"target":-24,"ceiling":-2}',
        T0 + 200,
    );
    m.handle('velmora/studio-7/alarm/loudness', '{"active":true,"since":1}', T0 + 300);
    const s = m.stations.get('studio-7');
    assert.deepStrictEqual([ s.integrated, s.truePeak, s.target, s.ceiling, s.loudnessAlarm ],
                           [ -23.01, [ -20, -Infinity ], -24, -2, true ]);
    assert.strictEqual(m.skipped, 0);
    // A multi-level prefix, cleaned as the console cleans it.
    const site = new W.WallModel(' site/velm+ra ');
    assert.strictEqual(site.prefix, 'site/velm_ra');
    assert.ok(site.handle('site/velm_ra/x/status', status('online'), T0));
    assert.strictEqual(site.handle('velmora/x/status', status('online'), T0), null);
    assert.strictEqual(site.handle('site/velm_ra/x/unknown', '{}', T0), null);
});

test('what is not the console JSON is skipped, counted, and changes nothing; numbers are clamped', () => {
    const m = new W.WallModel('velmora');
    online(m, 'a');
    m.handle('velmora/a/levels', levels([ -20, -20 ]), T0);
    const before = JSON.stringify(m.stations.get('a'));
    const junk = [
        [ 'levels', 'not json' ],
        [ 'levels', '[1,2]' ],
        [ 'levels', 'null' ],
        [ 'levels', levels([ -20 ]) ],
        [ 'levels', levels([ '-20', -20 ]) ],
        [ 'levels', levels([ -20, -20 ], {clip : [ 0, 1 ]}) ],
        [ 'levels', levels([ -20, -20 ], {corr : '1'}) ],
        [ 'status', status('sleeping') ],
        [ 'alarm/dead-air', '{"active":"yes","since":1}' ],
        // Valid up to the last field: the fields before it must not be taken either.
        [ 'loudness', '{"integrated":-10,"true_peak":[0,0],"target":-23,"ceiling":"-1"}' ],
        [ 'events', '{"time":"x","event":"OVER","channel":"L","samples":"5","peak_dbfs":0}' ],
    ];
    for (const [leaf, payload] of junk)
        assert.strictEqual(m.handle(`velmora/a/${leaf}`, payload, T0 + 50), null, payload);
    assert.strictEqual(m.skipped, junk.length);
    assert.strictEqual(JSON.stringify(m.stations.get('a')), before);
    assert.strictEqual(m.events.length, 0);

    m.handle('velmora/a/levels', levels([ 40, -1e9 ], {corr : -7, momentary : 1e300}), T0 + 100);
    const st = m.stations.get('a');
    assert.deepStrictEqual([ st.peak, st.corr, st.momentary ], [ [ 0, -200 ], -1, 20 ]);
    m.handle('velmora/a/loudness', '{"integrated":null,"true_peak":[null,null],"target":-1e9,"ceiling":50}',
             T0);
    assert.deepStrictEqual([ m.stations.get('a').target, m.stations.get('a').ceiling ], [ -70, 0 ]);
    // A name or device of any length is cut; markup stays the characters it is.
    m.handle('velmora/a/status',
             JSON.stringify({state : 'online', version : '', device : 'x'.repeat(5000), since : 0}), T0);
    assert.ok(m.stations.get('a').device.length < 100);
});

test('a tile says the worst of OFFLINE, SILENCE and NO DATA', () => {
    const m = new W.WallModel('velmora');
    online(m, 'a', T0);
    assert.strictEqual(W.tileState(m.stations.get('a'), T0 + 2999).mode, 'live');
    assert.deepStrictEqual(W.tileState(m.stations.get('a'), T0 + 3001), {mode : 'nodata', text : 'NO DATA'});
    m.handle('velmora/a/levels', levels([ -20, -20 ]), T0 + 4000);
    assert.strictEqual(W.tileState(m.stations.get('a'), T0 + 6000).mode, 'live');
    m.handle('velmora/a/alarm/dead-air', JSON.stringify({active : true, since : T0 - 60000}), T0 + 6000);
    assert.deepStrictEqual(W.tileState(m.stations.get('a'), T0 + 65500),
                           {mode : 'silence', text : 'SILENCE 2:05'});
    // The will's "since" is when publishing began: OFFLINE counts from when the page heard it,
    // and a repeated offline (the retained one after a reconnect) does not move it.
    m.handle('velmora/a/status', status('offline'), T0 + 70000);
    m.handle('velmora/a/status', status('offline'), T0 + 90000);
    const view = W.tileState(m.stations.get('a'), T0 + 95000);
    assert.deepStrictEqual(view, {mode : 'offline', text : 'OFFLINE since ' + W.clockText(T0 + 70000)});
    assert.match(view.text, /^OFFLINE since \d\d:\d\d:\d\d$/);
    m.handle('velmora/a/status', status('online'), T0 + 100000);
    m.handle('velmora/a/alarm/dead-air', JSON.stringify({active : false, since : T0}), T0 + 100000);
    assert.strictEqual(W.tileState(m.stations.get('a'), T0 + 101000).mode, 'live');
});

test('the bars fall back 20 dB in 1.7 s and a new peak lifts them at once', () => {
    const m = new W.WallModel('velmora');
    online(m, 'a');
    m.handle('velmora/a/levels', levels([ 0, -30 ]), T0);
    m.handle('velmora/a/levels', levels([ null, -10 ]), T0 + 850);
    const st = m.stations.get('a');
    assert.ok(Math.abs(st.shown[0] + 10) < 1e-9, st.shown[0]);
    assert.strictEqual(st.shown[1], -10);
    m.handle('velmora/a/levels', levels([ null, null ]), T0 + 60000);
    assert.deepStrictEqual(st.shown.map(Math.round), [ W.SCALE_BOTTOM, W.SCALE_BOTTOM ]);
});

test('tiles are in name order, numbers by value; only stations that said their status have one', () => {
    const m = new W.WallModel('velmora');
    for (const n of ['studio-10', 'studio-9', '<img src=x onerror=alert(1)>', 'Studio-1'])
        online(m, n);
    m.handle('velmora/quiet/levels', levels([ -20, -20 ]), T0);
    assert.deepStrictEqual(
        m.shown().map((s) => s.name),
        [ '<img src=x onerror=alert(1)>', 'Studio-1', 'studio-9', 'studio-10' ],
    );
});

test('nothing grows without bound', () => {
    const m = new W.WallModel('velmora');
    for (let i = 0; i < 60; ++i)
        m.handle('velmora/a/events',
                 JSON.stringify({time : `t${i}`, event : 'OVER', channel : 'L', samples : 5, peak_dbfs : 0}),
                 T0);
    assert.strictEqual(m.events.length, W.MAX_EVENTS);
    assert.deepStrictEqual([ m.events[0].time, m.events[49].time, m.events[0].station ],
                           [ 't59', 't10', 'a' ]);

    // Names without a status go after a minute; a station gone a day goes, offline or silent.
    const n = new W.WallModel('velmora');
    online(n, 'kept', T0);
    online(n, 'dies', T0);
    online(n, 'mute', T0);
    n.handle('velmora/dies/status', status('offline'), T0 + 1000);
    n.handle('velmora/noise/levels', levels([ -20, -20 ]), T0);
    n.prune(T0 + 61000);
    assert.deepStrictEqual([...n.stations.keys() ].sort(), [ 'dies', 'kept', 'mute' ]);
    // The retained offline, heard again on every reconnect, does not keep a dead station.
    n.handle('velmora/dies/status', status('offline'), T0 + W.DROP_AFTER_MS);
    n.handle('velmora/kept/levels', levels([ -20, -20 ]), T0 + W.DROP_AFTER_MS);
    assert.ok(n.prune(T0 + W.DROP_AFTER_MS + 2000));
    assert.deepStrictEqual([...n.stations.keys() ], [ 'kept' ]);

    const full = new W.WallModel('velmora');
    for (let i = 0; i < W.MAX_STATIONS + 10; ++i)
        online(full, `s${i}`);
    assert.strictEqual(full.stations.size, W.MAX_STATIONS);
    assert.strictEqual(full.refused, 10);
    assert.ok(full.handle('velmora/s0/levels', levels([ -20, -20 ]), T0), 'known stations go on');
});

test('read-outs', () => {
    assert.deepStrictEqual(
        [
            W.dbText(-20), W.dbText(-0.01), W.dbText(-Infinity), W.corrText(1), W.corrText(-0.001),
            W.corrText(null)
        ],
        [ '-20.0', '0.0', '\u2014', '+1.00', '0.00', '\u2014' ],
    );
    assert.deepStrictEqual([ W.minSec(-5), W.minSec(59999), W.minSec(3600000) ], [ '0:00', '0:59', '60:00' ]);
});
