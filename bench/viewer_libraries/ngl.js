// NGL side of bench/viewer_libraries.mjs.
import * as NGL from 'ngl';

const finish = (gl) => gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));

window.measure = (data, style) => {
  const start = performance.now();
  const stage = new NGL.Stage(document.getElementById('view'), { backgroundColor: 'white' });
  const gl = stage.viewer.renderer.getContext();
  const n = data.positions.length / 3;
  const nb = data.bonds.length / 2;
  const position = Float32Array.from(data.positions);
  const from = new Float32Array(3 * nb);
  const to = new Float32Array(3 * nb);
  const ends = () => {
    for (let k = 0; k < nb; ++k) {
      for (let c = 0; c < 3; ++c) {
        from[3 * k + c] = position[3 * data.bonds[2 * k] + c];
        to[3 * k + c] = position[3 * data.bonds[2 * k + 1] + c];
      }
    }
  };
  ends();
  const grey = (count) => new Float32Array(3 * count).fill(0.55);
  const shape = new NGL.Shape('tube');
  const spheres = style === 'sticks' ? null
    : new NGL.SphereBuffer({ position, color: grey(n), radius: new Float32Array(n).fill(0.32) });
  const sticks = new NGL.CylinderBuffer({ position1: from, position2: to, color: grey(nb), color2: grey(nb),
    radius: new Float32Array(nb).fill(0.12) });
  if (spheres) shape.addBuffer(spheres);
  shape.addBuffer(sticks);
  const component = stage.addComponentFromObject(shape);
  component.addRepresentation('buffer');
  component.autoView();
  stage.viewer.render(false);
  finish(gl);
  const open = performance.now() - start;
  const moved = performance.now();
  for (let i = 0; i < n; ++i) position[3 * i] += 0.1;
  ends();
  if (spheres) spheres.setAttributes({ position });
  sticks.setAttributes({ position1: from, position2: to });
  stage.viewer.render(false);
  finish(gl);
  const change = performance.now() - moved;
  const again = performance.now();
  stage.viewer.render(false);
  finish(gl);
  return { open, change, redraw: performance.now() - again };
};
