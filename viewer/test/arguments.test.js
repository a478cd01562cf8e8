// The tube builder's form in Node: wrapping's arguments read into the fields
// by wrapping's own rules (tokens, options, values), and the fields written
// back as arguments that read into the same fields.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { DEFAULT_FIELDS, argumentsFromFields, commandTokens, fieldsFromArguments, parameterTokens }
  from '../src/builder/arguments.js';

const read = (text) => fieldsFromArguments(parameterTokens(text).tokens);

test('arguments into the fields by wrapping\'s rules', () => {
  // Parameter-file text: commas, comments, quotes, CR LF, long and upper-case options.
  const { fields, unshown, problem } = read('# a tube\n12, 5   # chirality\r\n-U 2 -p -shift:z 1.5 "-f" "my tube.pv" -AZ\n');
  assert.deepEqual(fields, { ...DEFAULT_FIELDS, n: '12', m: '5', unit: '-u', length: '2', axis: 'z', output: '-p',
    name: 'my tube.pv' });
  assert.deepEqual([unshown, problem], [['-shift:z 1.5'], null]);
  // -l with a negative length is unit cells; -w alone 20 steps; -c 0 the tight-binding table; a value
  // after an option that takes none is eaten; the last of several outputs is the form, the first the name.
  assert.deepEqual(read('8 4 -l -3 -w -c 0 -d 7 -zc').fields, { ...DEFAULT_FIELDS, n: '8', m: '4', unit: '-u',
    length: '3', steps: '20', lattice: '-t', placement: '-zc', report: true });
  assert.deepEqual(read('8 4 -xx -p').fields, { ...DEFAULT_FIELDS, n: '8', m: '4', output: '-p', name: 'swnt_pos.xyz' });
  assert.deepEqual(read('8 4 -b -c 1.3').fields, { ...DEFAULT_FIELDS, n: '8', m: '4', bond: '1.3' });
  assert.deepEqual(read('8 4 -g "my table.dat" -xt').unshown, ['-g "my table.dat"']);
  assert.equal(read('10 10 -q').problem, '-q is no option of wrapping');
  assert.equal(read('10 10 -f').problem, '-f needs a value');
  assert.equal(read('10 10 -f /tmp/a.dat').problem, '-f needs a value');  // "/tmp..." is an option
  assert.equal(read('10 10 5').problem, '"5" stands where an option is expected');
  assert.match(fieldsFromArguments(['tube.prm'], true).problem, /parameter file/);
  assert.equal(parameterTokens('8 4 -f "open').error, 'a double quote that is never closed');
});

test('the fields into arguments that read back into the same fields', () => {
  const forms = [
    DEFAULT_FIELDS,
    { ...DEFAULT_FIELDS, n: '10', m: '5', unit: '-u', length: '3', steps: '5', axis: 'z', lattice: '-b',
      placement: '-zc', output: '-xx', name: 'my tube.xyz' },
    { ...DEFAULT_FIELDS, n: '8', m: '8', length: '42.5', steps: '-1', bond: '1.42', output: '-xt', report: true },
    { ...DEFAULT_FIELDS, n: '6', m: '0', axis: 'y', lattice: '-t', output: '-p', name: 'a,b#c.pv' },
  ];
  for (const fields of forms) {
    const args = argumentsFromFields(fields);
    const text = args.map((t) => (/[\s,#]/.test(t) ? `"${t}"` : t)).join(' ');
    const back = read(text);
    const expected = { ...fields, n: fields.n || '0', m: fields.m || '0' };
    assert.deepEqual([back.fields, back.unshown, back.problem], [expected, [], null], text);
  }
});

test('a command line split as a shell splits it', () => {
  assert.deepEqual(commandTokens('  assemble --wall 5,5\t--wall 10,10 "my dw.extxyz" \'a "b"\' c\\ d "e\\"f"g  ').tokens,
    ['assemble', '--wall', '5,5', '--wall', '10,10', 'my dw.extxyz', 'a "b"', 'c d', 'e"fg']);
  assert.deepEqual(commandTokens('topoconv "" x').tokens, ['topoconv', '', 'x']);
  assert.equal(commandTokens('assemble "open').error, 'a double quote that is never closed');
});
