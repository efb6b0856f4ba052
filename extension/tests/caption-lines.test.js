import assert from 'node:assert/strict';
import test from 'node:test';

import {CaptionLines, FORMING_EXPIRY_MS} from '../lib/caption-lines.js';

const caption = (segment, final, text = `s${segment}${final ? '.' : ''}`) =>
  ({type: 'caption', source: text, translation: text.toUpperCase(), final, segment});
const shown = (lines) => [lines.finals.map((l) => l.source), lines.forming && lines.forming.source];

test('a final line stays still while the next one forms, and late partials are ignored', () => {
  const lines = new CaptionLines(2);
  const steps = [
    [caption('0', false), true, [[], 's0']],
    [caption('0', true), true, [['s0.'], null]],
    [caption('0', false, 'late'), false, [['s0.'], null]],
    [caption('1', false), true, [['s0.'], 's1']],
    [caption('1', true), true, [['s0.', 's1.'], null]],
    [caption('2', true), true, [['s1.', 's2.'], null]],
    // Segments are decimal numbers: "10" comes after "9".
    [caption('9', true), true, [['s2.', 's9.'], null]],
    [caption('10', false), true, [['s2.', 's9.'], 's10']],
    [caption('x', false), false, [['s2.', 's9.'], 's10']],
  ];
  for (const [event, changed, expected] of steps) {
    assert.equal(lines.apply(event), changed, JSON.stringify(event));
    assert.deepEqual(shown(lines), expected, JSON.stringify(event));
  }
});

test('a forming line that no final follows goes once it has not been renewed for a while', () => {
  const lines = new CaptionLines();
  lines.apply(caption('0', false), 1000);
  lines.apply(caption('0', false, 'longer'), 2000);
  assert.equal(lines.expireForming(2000 + FORMING_EXPIRY_MS - 1), false);
  assert.equal(lines.expireForming(2000 + FORMING_EXPIRY_MS), true);
  assert.deepEqual(shown(lines), [[], null]);
});
