// wrapping's arguments and the tube builder's fields, both ways, by
// wrapping's own rules (builder/options.cpp): the tokens of a parameter
// file, the options by their first and second letter, every option taking
// the next token as its value when that token is no option, later options
// overriding earlier ones, numbers read as far as they go.  Pure functions:
// the form is plain data.
//
// The fields: { n, m, unit ('-l' Angstrom or '-u' unit cells), length,
// steps, axis ('x' 'y' 'z'), lattice ('ideal', '-b' REBO table, '-t'
// tight-binding table), bond, placement ('' centred, '-zc' in the box),
// output ('' trajectory, '-p', '-xx', '-xt'), name (of the output, '' for
// the default), report (true for -d) }, every value but report a string.
// The lattice '-g' stands for a table file named in the arguments, which
// the fields cannot name (the fields alone give the ideal lattice then).

export const DEFAULT_FIELDS = Object.freeze({
  n: '', m: '', unit: '-l', length: '20', steps: '0', axis: 'x', lattice: 'ideal', bond: '1.44',
  placement: '', output: '', name: '', report: false,
});

const IDEAL_BOND = 1.44;
const DEFAULT_BASE = 'swnt_pos';

// The tokens of a parameter file's text, as wrapping reads them: blanks,
// commas and line ends separate (tabs do not), '#' starts a comment to the
// end of the line, a double quote a token up to the next one; a carriage
// return before a line feed is dropped, a byte above 127 goes with the byte
// after it, a zero byte ends its token's text.  { tokens } or { error }.
export function parameterTokens(text) {
  const bytes = new TextEncoder().encode(text);
  const tokens = [];
  let token = [];
  let inToken = false;
  const end = () => {
    if (!inToken) return;
    const zero = token.indexOf(0);
    tokens.push(String.fromCharCode(...(zero < 0 ? token : token.slice(0, zero))));
    token = [];
    inToken = false;
  };
  for (let i = 0; i < bytes.length;) {
    const c = bytes[i++];
    if (c === 13 && bytes[i] === 10) continue;
    if (c >= 0x80) {
      if (i < bytes.length) ++i;
    } else if (c === 32 || c === 44 || c === 10) {
      end();
    } else if (c === 35) {  // '#'
      end();
      const lineEnd = bytes.indexOf(10, i);
      i = lineEnd < 0 ? bytes.length : lineEnd + 1;
    } else if (c === 34) {  // '"'
      end();
      const close = bytes.indexOf(34, i);
      if (close < 0) return { error: 'a double quote that is never closed' };
      token = [...bytes.subarray(i, close)];
      inToken = true;
      end();
      i = close + 1;
    } else {
      token.push(c);
      inToken = true;
    }
  }
  end();
  return { tokens };
}

// An option is a token that begins with '-' or '/' followed by anything but
// a digit.
export const isOption = (token) => /^[-/]/.test(token) && !/^.\d/.test(token);

// A token as a parameter file writes it.
export const quoted = (token) => (token === '' || /[\s,#]/.test(token) ? `"${token}"` : token);

// Numbers as wrapping reads option values: leading white space, a sign,
// digits (for reals a point, a fraction and an exponent), as far as they
// go; no number reads as 0.  null when the value is beyond the range.
function intValue(text) {
  const match = /^\s*([+-]?)(\d*)/.exec(text);
  const value = Number(`${match[1]}${match[2] || '0'}`);
  return value > 2147483647 || value < -2147483648 ? null : value;
}

function realValue(text) {
  const match = /^\s*([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)/.exec(text);
  const value = match ? Number(match[1]) : 0;
  return Number.isFinite(value) ? value : null;
}

const letterOf = (token) => (token[1] ?? '').toLowerCase();
// The second letter: the third character of a short token, the one after
// the first ':' of a longer one.
function secondLetterOf(token) {
  if (token.length <= 3) return (token[2] ?? '').toLowerCase();
  const colon = token.indexOf(':');
  return colon < 0 ? '' : (token[colon + 1] ?? '').toLowerCase();
}

// The fields that show what `tokens` (the arguments after the program's
// name) build, with what they cannot show:
//   { fields, unshown: [text of options without a field], problem: text or
//   null (why the fields cannot show the arguments at all) }.
// Fields the arguments leave alone show wrapping's defaults.  On a command
// line (`commandLine`) a single argument names a parameter file.
export function fieldsFromArguments(tokens, commandLine = false) {
  const fields = { ...DEFAULT_FIELDS };
  const unshown = [];
  if (tokens.length === 1 && commandLine) {
    return { fields, unshown, problem: 'a single argument is a parameter file, which the fields cannot show' };
  }
  if (tokens.length < 2) return { fields, unshown, problem: 'no chirality n m' };
  const chirality = tokens.slice(0, 2).map(intValue);
  if (chirality.includes(null)) return { fields, unshown, problem: 'a chirality index out of range' };
  [fields.n, fields.m] = chirality.map(String);
  let bond = IDEAL_BOND;   // <= 0: the table
  let table = '-t';        // '-t', '-b', or the token pair of -g
  let lengthUnits = -20;   // >= 0: unit cells; < 0: minus Angstrom
  let steps = 0;
  let output = 0;          // trajectory, pv, XMOL, TINKER
  let name = '';           // the output name, '' for the default
  let named = false;       // by -f
  let problem = null;
  const number = (option, value, read) => {
    const parsed = read(value);
    if (parsed === null) problem = `the value of ${option} is out of range`;
    return parsed ?? 0;
  };
  for (let i = 2; i < tokens.length && problem === null;) {
    const option = tokens[i];
    if (!isOption(option)) {
      problem = `"${option}" stands where an option is expected`;
      break;
    }
    const hasValue = i + 1 < tokens.length && !isOption(tokens[i + 1]);
    const value = hasValue ? tokens[i + 1] : '';
    i += hasValue ? 2 : 1;
    const letter = letterOf(option);
    const second = secondLetterOf(option);
    // An empty value (a quoted "") counts as none.
    const needsValue = () => {
      if (value === '') problem = `${option} needs a value`;
      return value !== '';
    };
    const defaultName = (extension) => {
      if (!named && name === '') name = `${DEFAULT_BASE}${extension}`;
    };
    if (letter === 'a' && 'xyz'.includes(second) && second) {
      fields.axis = second;
    } else if (letter === 'b' || letter === 't') {
      bond = -1;
      table = `-${letter}`;
    } else if (letter === 'c') {
      bond = value !== '' ? number(option, value, realValue) : IDEAL_BOND;
    } else if (letter === 'd') {
      fields.report = true;
    } else if (letter === 'f') {
      if (needsValue()) [name, named] = [value, true];
    } else if (letter === 'g') {
      if (needsValue()) [bond, table] = [-1, `${option} ${quoted(value)}`];
    } else if (letter === 'l') {
      if (needsValue()) lengthUnits = -number(option, value, realValue);
    } else if (letter === 'u') {
      if (needsValue()) lengthUnits = Math.abs(number(option, value, realValue));
    } else if (letter === 'w') {
      steps = value !== '' ? number(option, value, intValue) : 20;
    } else if (letter === 'p') {
      output = 1;
      defaultName('.pv');
    } else if (letter === 'x' && (second === 'x' || second === 't')) {
      output = second === 'x' ? 2 : 3;
      defaultName('.xyz');
    } else if (letter === 'z' && (second === 'c' || second === 'm')) {
      fields.placement = second === 'c' ? '-zc' : '';
    } else if ((letter === 'r' && 'ad'.includes(second) && second) || (letter === 's' && 'xyz'.includes(second) && second)) {
      unshown.push(value !== '' ? `${option} ${quoted(value)}` : option);
    } else {
      problem = `${option} is no option of wrapping`;
    }
  }
  if (bond > 0) {
    [fields.lattice, fields.bond] = ['ideal', String(bond)];
  } else if (table === '-t' || table === '-b') {
    fields.lattice = table;
  } else {
    fields.lattice = '-g';
    unshown.push(table);
  }
  [fields.unit, fields.length] = lengthUnits < 0 ? ['-l', String(-lengthUnits)] : ['-u', String(lengthUnits)];
  fields.steps = String(steps);
  fields.output = ['', '-p', '-xx', '-xt'][output];
  // A default name that the output form alone gives again is left out.
  const implied = output === 0 ? '' : `${DEFAULT_BASE}${output === 1 ? '.pv' : '.xyz'}`;
  fields.name = named || name !== implied ? name : '';
  return { fields, unshown, problem };
}

// The arguments that the fields ask for.
export function argumentsFromFields(fields) {
  const value = (key) => String(fields[key] ?? '').trim();
  const args = [value('n') || '0', value('m') || '0', fields.unit, value('length') || '0'];
  if (value('steps') && Number(value('steps')) !== 0) args.push('-w', value('steps'));
  if (fields.axis !== 'x') args.push(`-a${fields.axis}`);
  if (fields.lattice === '-t' || fields.lattice === '-b') args.push(fields.lattice);
  else if (Number(value('bond')) !== IDEAL_BOND) args.push('-c', value('bond') || '0');
  if (fields.placement) args.push(fields.placement);
  if (fields.output) args.push(fields.output);
  if (value('name')) args.push('-f', value('name'));
  if (fields.report) args.push('-d');
  return args;
}

// The words of a command line as a shell splits it (the page's command
// line, which names a program and its arguments): blanks separate; single
// quotes keep everything up to the next one; double quotes keep everything
// up to the next one but a backslash before '"' or '\'; a backslash outside
// quotes keeps the character after it.  Nothing else is special: no
// variables, globs or comments.  { tokens } or { error }.
export function commandTokens(text) {
  const tokens = [];
  let token = '';
  let inToken = false;
  for (let i = 0; i < text.length; ++i) {
    const c = text[i];
    if (/\s/.test(c)) {
      if (inToken) tokens.push(token);
      token = '';
      inToken = false;
      continue;
    }
    inToken = true;
    if (c === "'") {
      const close = text.indexOf("'", i + 1);
      if (close < 0) return { error: 'a single quote that is never closed' };
      token += text.slice(i + 1, close);
      i = close;
    } else if (c === '"') {
      for (++i; i < text.length && text[i] !== '"'; ++i) {
        if (text[i] === '\\' && (text[i + 1] === '"' || text[i + 1] === '\\')) ++i;
        token += text[i];
      }
      if (i >= text.length) return { error: 'a double quote that is never closed' };
    } else if (c === '\\') {
      if (i + 1 < text.length) token += text[++i];
    } else {
      token += c;
    }
  }
  if (inToken) tokens.push(token);
  return { tokens };
}
