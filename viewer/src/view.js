// The 3-D view: feeds a model's scenes to the molecular graphics library,
// which does all drawing, picking and camera work.  One library model holds
// the atoms; a scene change moves them, gives them the scene's bonds and
// colours, and lets the library build its geometry again.
import * as $3Dmol from '3dmol';
import { PV_KINDS, PV_OTHER_COLOR } from './readers/pv.js';
import { periodicCrossing } from './readers/cell.js';

// Above this many atoms a scene is drawn with sticks only unless the user
// asks for balls: half the primitives, so playing stays smooth.
export const STICKS_ABOVE = 20000;

const STYLES = {
  'ball-and-stick': { sphere: { radius: 0.32 }, stick: { radius: 0.12 } },
  sticks: { stick: { radius: 0.12 } },
};
const KIND_COLORS = new Map(PV_KINDS.map(({ kind, color }) => [kind, color]));
const AXIS_COLORS = ['#d62828', '#2a9d3f', '#1d4ed8'];

// Element colours: the CPK colours of Jmol (C grey, H white, B salmon
// pink, N blue, O red, P orange, S yellow, Si beige, ...), which the
// library carries; a symbol it lacks gets a deep pink that none of them has.
const JMOL = $3Dmol.elementColors.Jmol;
const UNKNOWN_ELEMENT_COLOR = 0xff1493;
export const knownElement = (symbol) => (JMOL[symbol] ?? JMOL[symbol.toUpperCase()]) !== undefined;
export const elementColor = (symbol) => JMOL[symbol] ?? JMOL[symbol.toUpperCase()] ?? UNKNOWN_ELEMENT_COLOR;

// Rotations (quaternions x y z w) that look along an axis: the axis named
// points at the viewer, the next one in the cyclic order x y z points right
// and the one after that up (along z: x right, y up).
const ALONG = {
  x: [-0.5, -0.5, -0.5, 0.5],
  y: [0.5, 0.5, 0.5, 0.5],
  z: [0, 0, 0, 1],
};
// The library's camera: where it stands on the z axis and its vertical
// field of view (degrees), as the library sets them.
const CAMERA_Z = 150;
const FIELD_OF_VIEW = 20;
// Room around the atoms when a view is fitted: the radius of a drawn atom
// and a little more, in Angstrom, and a share of the picture.
const ATOM_ROOM = 0.6;
const FIT_MARGIN = 1.04;
// A notch of the mouse wheel (100 pixels of scrolling) zooms by this factor.
const WHEEL_ZOOM = 1.2;

// The rows of the rotation matrix of quaternion x y z w: the directions of
// the picture's right, up and out of the screen, in model axes.
function rotationRows([qx, qy, qz, qw]) {
  return [
    [1 - 2 * (qy * qy + qz * qz), 2 * (qx * qy - qz * qw), 2 * (qx * qz + qy * qw)],
    [2 * (qx * qy + qz * qw), 1 - 2 * (qx * qx + qz * qz), 2 * (qy * qz - qx * qw)],
    [2 * (qx * qz - qy * qw), 2 * (qy * qz + qx * qw), 1 - 2 * (qx * qx + qy * qy)],
  ];
}

export class SceneView {
  // element: where the view goes; triad: a canvas over it for the axes.
  constructor(element, triad = null) {
    // A one-cell grid draws straight into the page's canvas.
    [[this.viewer]] = $3Dmol.createViewerGrid(element, { rows: 1, cols: 1 },
      { backgroundColor: 'white', antialias: false });
    this.model = null;     // the data shown
    this.atoms = null;     // the library's atom objects, in the data's order
    this.bondsShown = null;
    this.style = 'auto';
    this.decorations = { box: true, axes: true };
    this.homeAxis = null;  // the first view of a file: along this axis, or slanted
    this.onPick = () => {};
    this.triad = triad;
    this.viewer.setViewChangeCallback((view) => this.drawTriad(view));
    // The wheel zooms in when rolled forward (away from the user), as in
    // other molecular viewers; the library zooms out.  Caught on the way
    // down to the canvas, the wheel never reaches the library's own handler.
    element.addEventListener('wheel', (event) => this.wheel(event), { capture: true, passive: false });
  }

  wheel(event) {
    event.preventDefault();
    event.stopPropagation();
    if (!this.model) return;
    const unit = [1, 33, 800][event.deltaMode] ?? 1;  // pixels, lines, pages
    const pixels = Math.max(-300, Math.min(300, event.deltaY * unit));
    this.viewer.zoom(WHEEL_ZOOM ** (-pixels / 100));
  }

  // Shows scene `index` of `model`; `bonds` are the scene's bond pairs,
  // `colors` the colour of every atom, or null for the pv colour code of
  // the scene's kinds.
  show(model, index, bonds, colors = null) {
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
    }
    if (colors) {
      for (let i = 0; i < n; ++i) atoms[i].color = colors[i];
    } else if (scene.kinds) {
      for (let i = 0; i < n; ++i) atoms[i].color = KIND_COLORS.get(scene.kinds[i]) ?? PV_OTHER_COLOR;
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
    const crosses = periodicCrossing(model.box, model.periodic);
    const p = scene.positions;
    for (let k = 0; k < bonds.length; k += 2) {
      const i = bonds[k];
      const j = bonds[k + 1];
      // A bond through a periodic boundary would be drawn across the whole
      // cell: it is counted, and the cell outline shows the period instead.
      if (crosses && crosses(p[3 * j] - p[3 * i], p[3 * j + 1] - p[3 * i + 1], p[3 * j + 2] - p[3 * i + 2])) continue;
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
    this.drawTriad(this.viewer.getView());
  }

  // The box, as its twelve edges (a parallelepiped: the corner plus any of
  // the three edge vectors).
  drawDecorations() {
    this.viewer.removeAllShapes();
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
  }

  // The axes: a small drawing in the corner of the view that turns with
  // it, whatever the zoom (called by the library whenever it draws).
  drawTriad(view) {
    const canvas = this.triad;
    if (!canvas) return;
    canvas.hidden = !this.decorations.axes || !this.model;
    if (canvas.hidden) return;
    const scale = window.devicePixelRatio || 1;
    const size = canvas.clientWidth;
    if (canvas.width !== Math.round(size * scale)) canvas.width = canvas.height = Math.round(size * scale);
    const context = canvas.getContext('2d');
    context.setTransform(scale, 0, 0, scale, 0, 0);
    context.clearRect(0, 0, size, size);
    const rows = rotationRows(view.slice(4, 8));
    const middle = size / 2;
    const length = size * 0.34;
    // The axis pointing most away from the viewer first, so that nearer
    // ones are drawn over it.
    const order = [0, 1, 2].sort((a, b) => rows[2][a] - rows[2][b]);
    context.lineWidth = 2.5;
    context.lineCap = 'round';
    context.font = 'bold 13px system-ui, sans-serif';
    context.textAlign = 'center';
    context.textBaseline = 'middle';
    for (const a of order) {
      const dx = rows[0][a];
      const dy = -rows[1][a];
      context.strokeStyle = context.fillStyle = AXIS_COLORS[a];
      context.beginPath();
      context.moveTo(middle, middle);
      context.lineTo(middle + length * dx, middle + length * dy);
      context.stroke();
      // An axis that points at the viewer (or away) is a dot, named beside it.
      const head = Math.hypot(dx, dy) < 0.25;
      if (head) context.fillRect(middle - 3, middle - 3, 6, 6);
      const [lx, ly] = head ? [-10, 10] : [(length + 9) * dx, (length + 9) * dy];
      context.fillText('xyz'[a], middle + lx, middle + ly);
    }
  }

  // The picture as PNG, with the axes drawn in.
  png() {
    const picture = this.viewer.getCanvas();
    if (!this.triad || this.triad.hidden) return this.viewer.pngURI();
    const canvas = document.createElement('canvas');
    canvas.width = picture.width;
    canvas.height = picture.height;
    const context = canvas.getContext('2d');
    context.drawImage(picture, 0, 0);
    const scale = picture.width / picture.clientWidth;
    const stage = picture.getBoundingClientRect();
    const triad = this.triad.getBoundingClientRect();
    context.drawImage(this.triad, (triad.left - stage.left) * scale, (triad.top - stage.top) * scale,
      triad.width * scale, triad.height * scale);
    return canvas.toDataURL('image/png');
  }

  // The first view of a file looks along the axis chosen for it, or a
  // little from above and from the side, so that a sheet rolling up shows
  // its curve; either fitted to the atoms.
  resetView(render = true) {
    if (!this.home) {
      // The library sets its clipping planes around everything shown.
      this.viewer.zoomTo();
      let rotation = this.homeAxis && ALONG[this.homeAxis];
      if (!rotation) {
        this.viewer.setView([0, 0, 0, 0, 0, 0, 0, 1]);
        this.viewer.rotate(-35, 'x');
        this.viewer.rotate(20, 'y');
        rotation = this.viewer.getView().slice(4, 8);
      }
      this.home = this.fittedView(rotation);
    }
    this.viewer.setView(this.home);
    if (render) this.viewer.render();
  }

  // Looks along axis 'x', 'y' or 'z' (end-on or from the side of a tube
  // along one of them), fitted to the atoms.
  viewAlong(axis) {
    if (!this.model) return;
    this.viewer.setView(this.fittedView(ALONG[axis]));
    this.viewer.render();
  }

  // The view (the library's array: the model's centre, the camera distance,
  // the rotation, no panning) that shows the atoms of every scene as large
  // as the picture holds them, turned by `rotation`: playing the scenes
  // keeps them in the picture.
  fittedView(rotation) {
    const [qx, qy, qz, qw] = rotation;
    const [[a0, a1, a2], [b0, b1, b2], [c0, c1, c2]] = rotationRows(rotation);
    const scenes = this.model ? this.model.scenes : [];
    // The atoms' extent across the picture (u right, v up) and in depth (w).
    const low = [Infinity, Infinity, Infinity];
    const high = [-Infinity, -Infinity, -Infinity];
    for (const { positions: p } of scenes) {
      for (let k = 0; k + 2 < p.length; k += 3) {
        const u = a0 * p[k] + a1 * p[k + 1] + a2 * p[k + 2];
        const v = b0 * p[k] + b1 * p[k + 1] + b2 * p[k + 2];
        const w = c0 * p[k] + c1 * p[k + 1] + c2 * p[k + 2];
        if (u < low[0]) low[0] = u;
        if (u > high[0]) high[0] = u;
        if (v < low[1]) low[1] = v;
        if (v > high[1]) high[1] = v;
        if (w < low[2]) low[2] = w;
        if (w > high[2]) high[2] = w;
      }
    }
    if (!(low[0] <= high[0])) return [0, 0, 0, 0, qx, qy, qz, qw, 0, 0];
    const [mu, mv, mw] = low.map((value, a) => (value + high[a]) / 2);
    // An atom at depth w before the middle and (u, v) off it in the picture
    // is seen from the distance D - w: the camera must stand at least that
    // far for it to fit the picture's half width and half height.
    const canvas = this.viewer.getCanvas();
    const aspect = canvas.clientWidth > 0 && canvas.clientHeight > 0 ? canvas.clientWidth / canvas.clientHeight : 1;
    const reach = FIT_MARGIN / Math.tan((FIELD_OF_VIEW / 2) * (Math.PI / 180));
    let distance = 0;
    for (const { positions: p } of scenes) {
      for (let k = 0; k + 2 < p.length; k += 3) {
        const u = a0 * p[k] + a1 * p[k + 1] + a2 * p[k + 2] - mu;
        const v = b0 * p[k] + b1 * p[k + 1] + b2 * p[k + 2] - mv;
        const w = c0 * p[k] + c1 * p[k + 1] + c2 * p[k + 2] - mw;
        const across = Math.max((Math.abs(u) + ATOM_ROOM) / aspect, Math.abs(v) + ATOM_ROOM);
        if (w + reach * across > distance) distance = w + reach * across;
      }
    }
    // The model's centre: the middle of the picture, back in model axes.
    const centre = [a0 * mu + b0 * mv + c0 * mw, a1 * mu + b1 * mv + c1 * mw, a2 * mu + b2 * mv + c2 * mw];
    return [-centre[0], -centre[1], -centre[2], CAMERA_Z - distance, qx, qy, qz, qw, 0, 0];
  }

  resize() {
    this.viewer.resize();
    this.viewer.render();
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
