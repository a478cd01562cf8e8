// Text files a line at a time.  A text is never split into all its lines at
// once, nor a line into all its tokens when only the first few matter: a
// file of hundreds of millions of short lines, or one line of as many
// tokens, would make an array larger than the JavaScript engine can hold,
// and that ends the whole tab instead of raising an error.

// The lines of a text as text.split('\n') gives them (a text ending in "\n"
// has an empty last line), one after the other.
export class Lines {
  constructor(text) {
    this.text = text;
    this.row = 0;         // the current line's number, from 0
    this.start = 0;       // where the current line begins in the text
    this.current = null;  // the current line, null past the last one
    this.load();
  }

  get done() {
    return this.current === null;
  }

  advance() {
    this.start = this.end + 1;
    ++this.row;
    this.load();
  }

  load() {
    if (this.start > this.text.length) {
      this.current = null;
      return;
    }
    const end = this.text.indexOf('\n', this.start);
    this.end = end < 0 ? this.text.length : end;
    this.current = this.text.slice(this.start, this.end);
  }
}

// The first `count` lines of a text (fewer when it has fewer).
export function firstLines(text, count) {
  const lines = [];
  for (const reader = new Lines(text); !reader.done && lines.length < count; reader.advance()) {
    lines.push(reader.current);
  }
  return lines;
}

const SPACE = /[ \t\v\f\r]+/;

// The white-space separated tokens of a line, the first `limit` of them.
export function tokens(line, limit) {
  const trimmed = line.trim();
  return trimmed === '' ? [] : trimmed.split(SPACE, limit);
}

export function isBlank(line) {
  return line.trim() === '';
}
