// Numbers as the C library's formatted input reads them: "%d" integers and
// "%lf" reals, separated by white space of any kind (blank, tab, CR, LF, VT,
// FF).  A conversion takes the longest prefix of a token that forms a number
// and leaves the rest of the token for the next read, as scanf does; reals
// are correctly rounded, so a file reads to the same doubles here as in the
// programs.

export class ReadError extends Error {}

const INT_MAX = 2147483647;
const INT_MIN = -2147483648;
const EXACT_LIMIT = 2 ** 53;
const POWERS_OF_TEN = Array.from({ length: 23 }, (_, k) => Number(`1e${k}`));

export function isSpace(c) {
  return c === 32 || (c >= 9 && c <= 13);
}

// A token quoted for a message: at most 40 characters, bytes outside
// printable ASCII escaped, so that a message stays one readable line.
export function quoted(text) {
  let shown = '';
  for (const ch of text.slice(0, 40)) {
    const code = ch.charCodeAt(0);
    shown += code >= 0x20 && code < 0x7f ? ch : `\\x${code.toString(16).toUpperCase().padStart(2, '0')}`;
  }
  return `"${shown}${text.length > 40 ? '...' : ''}"`;
}

const DECIMAL = /^[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?/;
const HEX = /^([+-]?)0[xX]([0-9a-fA-F]*)\.?([0-9a-fA-F]*)(?:[pP]([+-]?\d+))?/;
const SPECIAL = /^([+-]?)(?:(inf(?:inity)?)|nan(?:\([0-9A-Za-z_]*\))?)/i;

// A hexadecimal float: the digits as one integer, rounded once to a double
// and scaled by a power of two (exact within the normal range).
function hexValue(sign, whole, fraction, exponent) {
  let digits = BigInt(`0x${whole}${fraction}`);
  let power = Number(exponent ?? 0) - 4 * fraction.length;
  if (digits === 0n) return sign === '-' ? -0 : 0;
  // Keep 64 significant bits and a sticky bit, so that Number() rounds once.
  const bits = digits.toString(2).length;
  if (bits > 64) {
    const drop = BigInt(bits - 64);
    const sticky = (digits & ((1n << drop) - 1n)) !== 0n ? 1n : 0n;
    digits = (digits >> drop) | sticky;
    power += bits - 64;
  }
  let value = Number(digits);
  // Scale in steps so that no intermediate over- or underflows needlessly.
  while (power > 0) { const step = Math.min(power, 1000); value *= 2 ** step; power -= step; }
  while (power < 0) { const step = Math.max(power, -1000); value *= 2 ** step; power -= step; }
  return sign === '-' ? -value : value;
}

// The number that "%lf" reads from the start of `text`: [value, length], or
// null when `text` does not start with a number.
export function scanReal(text) {
  const hex = HEX.exec(text);
  if (hex && (hex[2] !== '' || hex[3] !== '')) {
    return [hexValue(hex[1], hex[2], hex[3], hex[4]), hex[0].length];
  }
  const decimal = DECIMAL.exec(text);
  if (decimal) return [Number(decimal[0]), decimal[0].length];
  const special = SPECIAL.exec(text);
  if (special) {
    const value = special[2] ? Infinity : NaN;
    return [special[1] === '-' ? -value : value, special[0].length];
  }
  return null;
}

// A whole token as one real, or NaN when it is anything else (used by the
// line-based formats, where a column holds exactly one number).
export function parseReal(token) {
  const scanned = scanReal(token);
  return scanned && scanned[1] === token.length ? scanned[0] : NaN;
}

// A whole token as one decimal integer, or NaN.
export function parseInteger(token) {
  return /^[+-]?\d+$/.test(token) ? Number(token) : NaN;
}

// A stream of numbers over the bytes of a text file.
export class NumberStream {
  constructor(bytes) {
    this.bytes = bytes;
    this.pos = 0;
  }

  // The bytes of the next token (up to white space) without consuming it;
  // null at the end.
  peekToken() {
    const bytes = this.bytes;
    let at = this.pos;
    while (at < bytes.length && isSpace(bytes[at])) ++at;
    this.pos = at;
    if (at === bytes.length) return null;
    let end = at;
    while (end < bytes.length && !isSpace(bytes[end])) ++end;
    let text = '';
    for (let k = at; k < end; k += 8192) {
      text += String.fromCharCode.apply(null, bytes.subarray(k, Math.min(end, k + 8192)));
    }
    return text;
  }

  readInt() {
    const token = this.peekToken();
    if (token === null) throw new ReadError('the file ends before the data its header announces');
    const match = /^[+-]?\d+/.exec(token);
    if (!match) throw new ReadError(`not an integer where an integer is expected: ${quoted(token)}`);
    const value = Number(match[0]);
    if (value > INT_MAX || value < INT_MIN) {
      throw new ReadError(`integer out of the 32-bit range: ${quoted(match[0])}`);
    }
    this.pos += match[0].length;
    return value;
  }

  readReal() {
    // Most numbers are plain decimals ("-12.345678"), converted straight from
    // the bytes: when the digits form an integer of at most 2^53 with at most
    // 22 of them after the point, digits / 10^decimals is one correctly
    // rounded division of two exact doubles.
    const bytes = this.bytes;
    let at = this.pos;
    while (at < bytes.length && isSpace(bytes[at])) ++at;
    this.pos = at;
    let negative = false;
    if (bytes[at] === 45 || bytes[at] === 43) negative = bytes[at++] === 45;
    let digits = 0;
    let count = 0;
    let decimals = 0;
    let point = false;
    for (; at < bytes.length; ++at) {
      const c = bytes[at];
      if (c >= 48 && c <= 57) {
        digits = digits * 10 + (c - 48);
        ++count;
        if (point) ++decimals;
      } else if (c === 46 && !point) {
        point = true;
      } else {
        break;
      }
    }
    if (count > 0 && digits <= EXACT_LIMIT && decimals <= 22 && (at === bytes.length || isSpace(bytes[at]))) {
      this.pos = at;
      const magnitude = decimals > 0 ? digits / POWERS_OF_TEN[decimals] : digits;
      return negative ? -magnitude : magnitude;
    }
    const token = this.peekToken();
    if (token === null) throw new ReadError('the file ends before the data its header announces');
    const scanned = scanReal(token);
    if (!scanned) throw new ReadError(`not a number where a number is expected: ${quoted(token)}`);
    this.pos += scanned[1];
    return scanned[0];
  }
}
