// The record that Tavisor's GetItem makes, made with @faker-js/faker the way
// a user of faker would write it (record.mjs), and timed.
//
// Usage: node faker_record.mjs [--reps N] [--seconds S] [--json] [--sample]
// Prints records/s of each repetition and their median; with --json the
// last line is a JSON summary for bench/compare.sh; --sample prints one
// record instead.
import { readFileSync } from 'node:fs';
import { makeRecord } from './record.mjs';

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? Number(args[i + 1]) : fallback;
};
const reps = option('--reps', 5);
const seconds = option('--seconds', 1);
const json = args.includes('--json');

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
