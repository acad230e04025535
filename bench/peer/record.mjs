// The record that Tavisor's GetItem makes, made with @faker-js/faker the way
// a user of faker would write it: shared by faker_record.mjs (records
// alone) and faker_jsonl.mjs (records written as JSON Lines).
//
// One record: a species from the bundled bird list (first 414 entries), 1 to
// 15 observations, each at a municipality from the bundled list (first 79)
// or at coordinates (latitude 57..59 deg, longitude 21..28 deg, minutes and
// seconds 0..59), with a date 1950..2025 and a time of day (one faker date,
// split into both), and a count of 1..10 birds for about half of them.
import { readFileSync } from 'node:fs';
import { faker } from '@faker-js/faker';

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

export function makeRecord() {
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

