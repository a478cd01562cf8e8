// Bonds through a periodic boundary, in a cell of any shape: a bond crosses
// the boundary of a periodic edge vector when its own span, in fractions of
// the cell's edge vectors, is more than half that vector.  Such a bond is
// drawn between the images of its atoms, which lie a cell apart: across the
// whole cell.

// The fractions of the edge vectors a b c that make up d, by Cramer's rule;
// `inverse` from inverseRows.
function fractions(inverse, d) {
  return inverse.map((row) => row[0] * d[0] + row[1] * d[1] + row[2] * d[2]);
}

// Rows r_k with r_k . v_j = 1 for k = j and 0 otherwise: the reciprocal
// vectors of the cell (its volume is not zero: see isCell).
function inverseRows([a, b, c]) {
  const cross = (u, v) => [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]];
  const bc = cross(b, c);
  const volume = a[0] * bc[0] + a[1] * bc[1] + a[2] * bc[2];
  return [bc, cross(c, a), cross(a, b)].map((row) => row.map((value) => value / volume));
}

// A test (dx, dy, dz) => whether a bond of that span crosses a periodic
// boundary; null when nothing repeats.  `periodic` flags the edge vectors
// (the axes of an orthogonal cell).
export function periodicCrossing(box, periodic) {
  if (!box || !periodic || !periodic.some(Boolean)) return null;
  const inverse = inverseRows(box.vectors);
  return (dx, dy, dz) => fractions(inverse, [dx, dy, dz]).some((f, k) => periodic[k] && Math.abs(f) > 0.5);
}
