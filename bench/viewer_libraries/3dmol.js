// 3Dmol.js side of bench/viewer_libraries.mjs.
import * as $3Dmol from '3dmol';

const finish = (gl) => gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));

window.measure = (data, style, setting) => {
  const start = performance.now();
  const viewer = $3Dmol.createViewer(document.getElementById('view'), { backgroundColor: 'white', ...setting });
  const gl = viewer.renderer.getContext();
  const n = data.positions.length / 3;
  const atoms = Array.from({ length: n }, (_, i) => ({ elem: 'C', x: data.positions[3 * i],
    y: data.positions[3 * i + 1], z: data.positions[3 * i + 2], bonds: [], bondOrder: [] }));
  for (let k = 0; k < data.bonds.length; k += 2) {
    const [a, b] = [data.bonds[k], data.bonds[k + 1]];
    atoms[a].bonds.push(b); atoms[a].bondOrder.push(1); atoms[b].bonds.push(a); atoms[b].bondOrder.push(1);
  }
  const look = style === 'sticks' ? { stick: { radius: 0.12 } } : { sphere: { radius: 0.32 }, stick: { radius: 0.12 } };
  const model = viewer.addModel();
  model.addAtoms(atoms);
  model.setStyle({}, look);
  viewer.zoomTo();
  viewer.render();
  finish(gl);
  const open = performance.now() - start;
  const moved = performance.now();
  for (const atom of model.selectedAtoms({})) atom.x += 0.1;
  model.setStyle({}, look);
  viewer.render();
  finish(gl);
  const change = performance.now() - moved;
  const again = performance.now();
  viewer.render();
  finish(gl);
  return { open, change, redraw: performance.now() - again };
};
