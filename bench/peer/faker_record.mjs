// The record that Tavisor's GetItem makes, made with @faker-js/faker the way
// a user of faker would write it, and timed.
//
// One record: a species from the bundled bird list (first 414 entries), 1 to
// 15 observations, each at a municipality from the bundled list (first 79)
// or at coordinates (latitude 57..59 deg, longitude 21..28 deg, minutes and
// seconds 0..59), with a date 1950..2025 and a time of day (one faker date,
// split into both), and a count of 1..10 birds for about half of them.
//
// Usage: node faker_record.mjs [--reps N] [--seconds S] [--json] [--sample]
// Prints records/s of each repetition and their median; with --json the
// last line is a JSON summary for bench/compare.sh; --sample prints one
// record instead.
import { readFileSync } from 'node:fs';
import { faker } from '@faker-js/faker';

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? Number(args[i + 1]) : fallback;
};
const reps = option('--reps', 5);
const seconds = option('--seconds', 1);
const json = args.includes('--json');

// The bundled lists are Windows-1252 text with CRLF line breaks.
const dataDir = new URL('../../data/', import.meta.url);
const listLines = (name) =>
  readFileSync(new URL(name, dataDir), 'latin1').split(/\r?\n/).filter((l) => l.length > 0);

// "order family name words... R": as the library holds it, every word of
// the name followed by one blank, a first ASCII letter upper-cased.
const parseBird = (line) => {
  const w = line.trim().split(/\s+/);
  const name = w.slice(2, -1).map((word) => word + ' ').join('');
  return {
    order: w[0],
    family: w[1],
    name: name.replace(/^[a-z]/, (c) => c.toUpperCase()), // ASCII only, as the library does
    rarity: w[w.length - 1],
  };
};

const birds = listLines('Eesti linnud.txt').slice(0, 414).map(parseBird);
const municipalities = listLines('Eesti omavalitsused.txt').slice(0, 79);
const from = new Date(Date.UTC(1950, 0, 1, 0, 0, 0));
const to = new Date(Date.UTC(2025, 11, 31, 23, 59, 59));

const angle = (minDegrees, maxDegrees) => [
  faker.number.int({ min: minDegrees, max: maxDegrees }),
  faker.number.int({ min: 0, max: 59 }),
  faker.number.int({ min: 0, max: 59 }),
];

function makeRecord() {
  const bird = faker.helpers.arrayElement(birds);
  const n = faker.number.int({ min: 1, max: 15 });
  const observations = new Array(n);
  for (let i = 0; i < n; i++) {
    const location = faker.datatype.boolean()
      ? { latitude: angle(57, 59), longitude: angle(21, 28) }
      : faker.helpers.arrayElement(municipalities);
    const when = faker.date.between({ from, to });
    observations[i] = {
      location,
      date: { year: when.getUTCFullYear(), month: when.getUTCMonth() + 1, day: when.getUTCDate() },
      time: { hours: when.getUTCHours(), minutes: when.getUTCMinutes(), seconds: when.getUTCSeconds() },
      count: faker.datatype.boolean() ? faker.number.int({ min: 1, max: 10 }) : undefined,
    };
  }
  return { order: bird.order, family: bird.family, name: bird.name, rarity: bird.rarity, observations };
}

// Makes records for `duration` seconds; the observation total keeps the
// work observable so that nothing is optimised away.
function measure(duration) {
  const limit = BigInt(Math.round(duration * 1e9));
  const cpuStart = process.cpuUsage();
  const start = process.hrtime.bigint();
  let records = 0;
  let observations = 0;
  let elapsed = 0n;
  do {
    for (let i = 0; i < 1000; i++) observations += makeRecord().observations.length;
    records += 1000;
    elapsed = process.hrtime.bigint() - start;
  } while (elapsed < limit);
  const cpu = process.cpuUsage(cpuStart);
  const seconds = Number(elapsed) / 1e9;
  return {
    perSecond: records / seconds,
    obsPerRecord: observations / records,
    cores: (cpu.user + cpu.system) / 1e6 / seconds, // above 1 when the GC works on other threads
  };
}

if (args.includes('--sample')) {
  console.log(JSON.stringify(makeRecord(), null, 1));
  process.exit(0);
}

measure(Math.min(1, seconds)); // warm-up: let the JIT settle
const results = [];
for (let r = 0; r < reps; r++) {
  const m = measure(seconds);
  results.push(m.perSecond);
  console.log(
    `faker record: ${Math.round(m.perSecond)} records/s, ${m.obsPerRecord.toFixed(2)} observations/record, ${m.cores.toFixed(2)} cores`,
  );
}
const sorted = [...results].sort((a, b) => a - b);
const median = sorted[Math.floor(sorted.length / 2)];
console.log(`faker record median: ${Math.round(median)} records/s over ${reps} runs`);
if (json) {
  const version = JSON.parse(
    readFileSync(new URL('./node_modules/@faker-js/faker/package.json', import.meta.url), 'utf8'),
  ).version;
  console.log(
    JSON.stringify({ peer: '@faker-js/faker', version, node: process.version, median, min: sorted[0], max: sorted[sorted.length - 1] }),
  );
}
