// tavisor-demo's generate beside faker: the same records (record.mjs)
// written as JSON Lines in generate's layout, one JSON.stringify per record,
// in blocks of about 1 MB, to a file or /dev/null.
//
// Usage: node faker_jsonl.mjs [--records N] [--reps R] [--out FILE] [--json]
// Prints records/s and MB/s of each repetition and their medians; with
// --json the last line is a JSON summary for bench/generate_compare.sh.
import { closeSync, openSync, writeSync } from 'node:fs';
import { makeRecord } from './record.mjs';

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : fallback;
};
const records = Number(option('--records', 200000));
const reps = Number(option('--reps', 3));
const out = option('--out', '/dev/null');

const decimal = ([d, m, s]) => Math.round((d + m / 60 + s / 3600) * 1e6) / 1e6;
const two = (n) => String(n).padStart(2, '0');

// One line, as generate writes it: the record's number first, the name
// without its trailing blank, decimal degrees beside the angles.
function line(number, r) {
  return JSON.stringify({
    record: number,
    order: r.order,
    family: r.family,
    name: r.name.replace(/ $/, ''),
    rarity: r.rarity,
    common: r.rarity === 'A',
    observations: r.observations.map((o) => ({
      place:
        typeof o.location === 'string'
          ? { municipality: o.location }
          : {
              latitude: o.location.latitude,
              longitude: o.location.longitude,
              latitude_decimal: decimal(o.location.latitude),
              longitude_decimal: decimal(o.location.longitude),
            },
      date: `${String(o.date.year).padStart(4, '0')}-${two(o.date.month)}-${two(o.date.day)}`,
      time: `${two(o.time.hours)}:${two(o.time.minutes)}:${two(o.time.seconds)}`,
      count: o.count ?? null,
    })),
  }) + '\n';
}

function run() {
  const fd = openSync(out, 'w');
  const start = process.hrtime.bigint();
  let bytes = 0;
  let block = [];
  let blockBytes = 0;
  const flush = () => {
    const data = Buffer.from(block.join(''), 'utf8');
    writeSync(fd, data);
    bytes += data.length;
    block = [];
    blockBytes = 0;
  };
  for (let n = 1; n <= records; n++) {
    const text = line(n, makeRecord());
    block.push(text);
    blockBytes += text.length;
    if (blockBytes >= 1 << 20) flush();
  }
  flush();
  closeSync(fd);
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  return { perSecond: records / seconds, mbPerSecond: bytes / 1e6 / seconds };
}

run(); // warm-up: let the JIT settle
const results = [];
for (let r = 0; r < reps; r++) {
  const m = run();
  results.push(m);
  console.log(`faker JSON Lines: ${Math.round(m.perSecond)} records/s, ${m.mbPerSecond.toFixed(1)} MB/s`);
}
const median = (key) => [...results].sort((a, b) => a[key] - b[key])[Math.floor(results.length / 2)][key];
console.log(`faker JSON Lines median: ${Math.round(median('perSecond'))} records/s, ${median('mbPerSecond').toFixed(1)} MB/s`);
if (args.includes('--json')) {
  console.log(JSON.stringify({ records_per_second: median('perSecond'), mb_per_second: median('mbPerSecond') }));
}
