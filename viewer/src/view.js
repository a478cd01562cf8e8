// The 3-D view: feeds a model's scenes to the molecular graphics library,
// which does all drawing, picking and camera work.  One library model holds
// the atoms; a scene change moves them, gives them the scene's bonds and
// colours, and lets the library build its geometry again.
import * as $3Dmol from '3dmol';
import { PV_KINDS, PV_OTHER_COLOR } from './readers/pv.js';

// Above this many atoms a scene is drawn with sticks only unless the user
// asks for balls: half the primitives, so playing stays smooth.
export const STICKS_ABOVE = 20000;

const STYLES = {
  'ball-and-stick': { sphere: { radius: 0.32 }, stick: { radius: 0.12 } },
  sticks: { stick: { radius: 0.12 } },
};
const KIND_COLORS = new Map(PV_KINDS.map(({ kind, color }) => [kind, color]));
const AXIS_COLORS = ['#d62828', '#2a9d3f', '#1d4ed8'];

export class SceneView {
  constructor(element) {
    // A one-cell grid draws straight into the page's canvas.
    [[this.viewer]] = $3Dmol.createViewerGrid(element, { rows: 1, cols: 1 },
      { backgroundColor: 'white', antialias: false });
    this.model = null;     // the data shown
    this.atoms = null;     // the library's atom objects, in the data's order
    this.bondsShown = null;
    this.style = 'auto';
    this.decorations = { box: true, axes: true };
    this.onPick = () => {};
  }

  // Shows scene `index` of `model`; `bonds` are the scene's bond pairs.
  show(model, index, bonds) {
    const scene = model.scenes[index];
    const n = model.atomCount;
    if (model !== this.model) {
      this.viewer.removeAllModels();
      const atoms = new Array(n);
      for (let i = 0; i < n; ++i) {
        atoms[i] = { elem: model.elements?.[i] ?? 'C', serial: i + 1, x: 0, y: 0, z: 0, bonds: [], bondOrder: [] };
      }
      this.libraryModel = this.viewer.addModel();
      this.libraryModel.addAtoms(atoms);
      this.atoms = this.libraryModel.selectedAtoms({});
      // The scenes are one frame, the model's own atoms moved in place:
      // showing the frame again makes the library build the geometry anew,
      // at less cost than setting the style again.
      this.libraryModel.addFrame(this.atoms);
      this.bondsShown = null;
      this.picking = false;
    }
    this.setPicking(false);
    const atoms = this.atoms;
    const p = scene.positions;
    for (let i = 0; i < n; ++i) {
      const atom = atoms[i];
      atom.x = p[3 * i];
      atom.y = p[3 * i + 1];
      atom.z = p[3 * i + 2];
      if (scene.kinds) atom.color = KIND_COLORS.get(scene.kinds[i]) ?? PV_OTHER_COLOR;
    }
    if (!sameBonds(bonds, this.bondsShown)) this.setBonds(model, scene, bonds);
    const first = model !== this.model;
    this.model = model;
    if (first) {
      this.applyStyle();
      this.drawDecorations();
      this.home = null;
      this.resetView(false);
    } else {
      this.libraryModel.setFrame(0);
    }
    this.viewer.render();
  }

  // Picking makes the library keep a shape per atom and bond for every
  // geometry it builds, which costs more than the drawing itself in a big
  // scene: it is switched on once a scene stands still.
  setPicking(on) {
    if (!this.libraryModel || on === this.picking) return;
    this.libraryModel.setClickable({}, on, (atom) => this.onPick(atom.serial));
    this.picking = on;
    if (on) this.viewer.render();
  }

  setBonds(model, scene, bonds) {
    for (const atom of this.atoms) {
      atom.bonds.length = 0;
      atom.bondOrder.length = 0;
    }
    const limits = periodicLimits(model);
    const p = scene.positions;
    for (let k = 0; k < bonds.length; k += 2) {
      const i = bonds[k];
      const j = bonds[k + 1];
      // A bond through a periodic boundary would be drawn across the whole
      // cell: it is counted, and the cell outline shows the period instead.
      if (limits && limits.some((limit, a) => Math.abs(p[3 * i + a] - p[3 * j + a]) > limit)) continue;
      this.atoms[i].bonds.push(j);
      this.atoms[i].bondOrder.push(1);
      this.atoms[j].bonds.push(i);
      this.atoms[j].bondOrder.push(1);
    }
    this.bondsShown = bonds;
  }

  // The style in force: ball-and-stick, sticks, or chosen by the size.
  effectiveStyle() {
    if (this.style !== 'auto') return this.style;
    return this.model && this.model.atomCount > STICKS_ABOVE ? 'sticks' : 'ball-and-stick';
  }

  applyStyle() {
    if (this.libraryModel) this.libraryModel.setStyle({}, STYLES[this.effectiveStyle()]);
  }

  setStyle(style) {
    this.style = style;
    this.applyStyle();
    this.viewer.render();
  }

  setDecorations(decorations) {
    this.decorations = { ...this.decorations, ...decorations };
    this.drawDecorations();
    this.viewer.render();
  }

  drawDecorations() {
    this.viewer.removeAllShapes();
    this.viewer.removeAllLabels();
    if (!this.model) return;
    const box = this.model.box;
    if (box && this.decorations.box) {
      const shape = this.viewer.addShape({ color: '#606060', wireframe: true });
      const corner = (a, b, c) => {
        const point = [...box.origin];
        [a, b, c].forEach((use, v) => { if (use) for (let k = 0; k < 3; ++k) point[k] += box.vectors[v][k]; });
        return { x: point[0], y: point[1], z: point[2] };
      };
      for (const [from, to] of BOX_EDGES) shape.addLine({ start: corner(...from), end: corner(...to) });
    }
    if (this.decorations.axes) {
      const { origin, size } = this.axesPlace();
      for (let a = 0; a < 3; ++a) {
        const end = { x: origin.x, y: origin.y, z: origin.z };
        end['xyz'[a]] += size;
        this.viewer.addArrow({ start: origin, end, radius: size * 0.025, color: AXIS_COLORS[a] });
        this.viewer.addLabel('xyz'[a], {
          position: end, fontColor: AXIS_COLORS[a], fontSize: 14, showBackground: false, inFront: true,
        });
      }
    }
  }

  // The axes stand at the box corner, or at the lowest corner of the atoms.
  axesPlace() {
    const box = this.model.box;
    const p = this.model.scenes[0].positions;
    const low = [Infinity, Infinity, Infinity];
    const high = [-Infinity, -Infinity, -Infinity];
    for (let k = 0; k < p.length; ++k) {
      low[k % 3] = Math.min(low[k % 3], p[k]);
      high[k % 3] = Math.max(high[k % 3], p[k]);
    }
    const corner = box ? box.origin : low.map((v) => (Number.isFinite(v) ? v : 0));
    const sizes = high.map((v, a) => v - low[a]).concat(box ? box.vectors.map((v) => Math.hypot(...v)) : []);
    const extent = Math.max(...sizes.filter(Number.isFinite), 0);
    return { origin: { x: corner[0], y: corner[1], z: corner[2] }, size: Math.max(3, 0.2 * extent) };
  }

  // The first view of a file looks at it a little from above and from the
  // side, so that a sheet rolling up shows its curve.
  resetView(render = true) {
    if (this.home) {
      this.viewer.setView(this.home);
    } else {
      this.viewer.setView([0, 0, 0, 0, 0, 0, 0, 1]);
      this.viewer.rotate(-35, 'x');
      this.viewer.rotate(20, 'y');
      this.viewer.zoomTo();
      this.home = this.viewer.getView();
    }
    if (render) this.viewer.render();
  }

  resize() {
    this.viewer.resize();
    this.viewer.render();
  }

  png() {
    return this.viewer.pngURI();
  }
}

function sameBonds(a, b) {
  if (a === b) return true;
  if (!a || !b || a.length !== b.length) return false;
  for (let k = 0; k < a.length; ++k) if (a[k] !== b[k]) return false;
  return true;
}

// The 12 edges of a box as pairs of corners (which edge vectors are added).
const BOX_EDGES = [];
for (let a = 0; a < 2; ++a) {
  for (let b = 0; b < 2; ++b) {
    BOX_EDGES.push([[0, a, b], [1, a, b]], [[a, 0, b], [a, 1, b]], [[a, b, 0], [a, b, 1]]);
  }
}

// Per axis, the separation beyond which a bond crosses a periodic boundary
// (half the cell along that axis), or null when nothing repeats.
function periodicLimits(model) {
  if (!model.periodic || !model.box || !model.periodic.some(Boolean)) return null;
  return [0, 1, 2].map((a) => (model.periodic[a]
    ? Math.abs(model.box.vectors[0][a] + model.box.vectors[1][a] + model.box.vectors[2][a]) / 2
    : Infinity));
}
