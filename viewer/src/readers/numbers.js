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

const DECIMAL = /^([+-]?(?:\d+\.?\d*|\.\d+))(?:[eE]([+-]?)(\d*))?/;
const HEX = /^([+-]?)0[xX]([0-9a-fA-F]*)(\.?)([0-9a-fA-F]*)/;
const HEX_EXPONENT = /^[pP]([+-]?)(\d*)/;

// A hexadecimal float: the digits as one integer, rounded once to a double
// and scaled by a power of two (exact within the normal range).
function hexValue(sign, whole, fraction, exponent) {
  let digits = BigInt(`0x${whole}${fraction}`);
  let power = exponent - 4 * fraction.length;
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
  // The value is from 1 to 2^64: beyond these powers it is infinite or 0
  // whatever they are, and an exponent of thousands of digits (an infinite
  // power) would never be stepped through.
  power = Math.min(1100, Math.max(-1200, power));
  // Scale in steps so that no intermediate over- or underflows needlessly.
  while (power > 0) { const step = Math.min(power, 1000); value *= 2 ** step; power -= step; }
  while (power < 0) { const step = Math.max(power, -1000); value *= 2 ** step; power -= step; }
  return sign === '-' ? -value : value;
}

// The number that "%lf" of the C library reads from the start of `text`:
// [value, length consumed], or null when the conversion fails.  Like it, an
// exponent mark is consumed even when no digits follow ("7e" is 7, two
// characters), "0x" without a digit fails, "inf" may be "infinity" but not a
// part of it, and "nan" is taken without a parenthesised suffix.
export function scanReal(text) {
  const sign = text[0] === '+' || text[0] === '-' ? text[0] : '';
  const rest = text.slice(sign.length, sign.length + 8).toLowerCase();
  if (rest.startsWith('inf')) {
    let k = 0;
    while (k < 5 && rest[3 + k] === 'inity'[k]) ++k;
    if (k > 0 && k < 5) return null;
    return [sign === '-' ? -Infinity : Infinity, sign.length + (k === 5 ? 8 : 3)];
  }
  if (rest.startsWith('nan')) return [NaN, sign.length + 3];
  const hex = HEX.exec(text);
  if (hex) {
    const [match, hexSign, whole, point, fraction] = hex;
    if (whole === '' && fraction === '') return point ? [hexSign === '-' ? -0 : 0, match.length] : null;
    const exponent = HEX_EXPONENT.exec(text.slice(match.length));
    const power = exponent && exponent[2] ? Number(`${exponent[1]}${exponent[2]}`) : 0;
    return [hexValue(hexSign, whole, fraction, power), match.length + (exponent ? exponent[0].length : 0)];
  }
  const decimal = DECIMAL.exec(text);
  if (!decimal) return null;
  return [Number(`${decimal[1]}e${decimal[2] ?? ''}${decimal[3] || '0'}`), decimal[0].length];
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

  // The next token (up to white space), at most `limit` characters of it,
  // without consuming it: [text, whole], or null at the end.  A token of
  // many numbers glued together is looked at a window at a time, so it
  // costs the same per number as separate ones.
  peekToken(limit) {
    const bytes = this.bytes;
    let at = this.pos;
    while (at < bytes.length && isSpace(bytes[at])) ++at;
    this.pos = at;
    if (at === bytes.length) return null;
    let end = at;
    while (end < bytes.length && end - at < limit && !isSpace(bytes[end])) ++end;
    let text = '';
    for (let k = at; k < end; k += 8192) {
      text += String.fromCharCode.apply(null, bytes.subarray(k, Math.min(end, k + 8192)));
    }
    return [text, end === bytes.length || isSpace(bytes[end])];
  }

  // The longest prefix of the next token that `scan` takes, looked for in a
  // window that grows while the prefix fills it; throws `what` and the token
  // when there is none.
  scan(scanner, what) {
    for (let limit = 64; ; limit *= 2) {
      const peeked = this.peekToken(limit);
      if (peeked === null) throw new ReadError('the file ends before the data its header announces');
      const [text, whole] = peeked;
      const scanned = scanner(text);
      if (!scanned) throw new ReadError(`${what}: ${quoted(text)}`);
      if (scanned[1] < text.length || whole) {
        this.pos += scanned[1];
        return scanned[0];
      }
    }
  }

  readInt() {
    const value = this.scan((text) => {
      const match = /^[+-]?\d+/.exec(text);
      return match && [match[0], match[0].length];
    }, 'not an integer where an integer is expected');
    if (Number(value) > INT_MAX || Number(value) < INT_MIN) {
      throw new ReadError(`integer out of the 32-bit range: ${quoted(value)}`);
    }
    return Number(value);
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
    // The number ends at white space or at a sign (the next number glued to it).
    const next = bytes[at];
    if (count > 0 && digits <= EXACT_LIMIT && decimals <= 22 &&
        (at === bytes.length || isSpace(next) || next === 45 || next === 43)) {
      this.pos = at;
      const magnitude = decimals > 0 ? digits / POWERS_OF_TEN[decimals] : digits;
      return negative ? -magnitude : magnitude;
    }
    return this.scan(scanReal, 'not a number where a number is expected');
  }
}
