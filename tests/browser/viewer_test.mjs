#!/usr/bin/env node
// Runs riruride on the two drawings in examples/ and on the two sources in
// sources/ here, opens each viewer document from its file:// URL in headless
// Chromium, as a user's browser gets it (no encoding forced), and checks it
// through the DOM: embeds and their sizes, page and table-of-contents links,
// the Shift_JIS texts and the nesting of the outline. A second browser is given the two
// features the viewer's script was written for (getElementById that also
// finds elements by name, and file:// pages that may script embedded SVG);
// in it every embedded copy k must show page k, in its SVG document and on a
// screenshot. With --screenshots DIR it also saves a picture of each layout.
//
// Usage: node viewer_test.mjs --exe PATH [--screenshots DIR]
// Prints "SKIP: ..." and exits 0 when Chromium or playwright-core is missing;
// exits 1 when a check fails or riruride does not write its document.

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const HERE = path.dirname(fileURLToPath(import.meta.url));
const REPOSITORY = path.resolve(HERE, '..', '..');

const CAPTION = 'ZUV Aduv マルチページビューア';
const NOTICE = '(ページの内容が以前のままなら、最新の情報に更新を実行してください)';
const TOC_HEADING = '目次';
const CONTENTS_HEADING = '内容';

// A fresh profile is given to every launch. --disable-dev-shm-usage keeps
// Chromium off /dev/shm, which containers keep small.
const CHROMIUM_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--disable-dev-shm-usage',
];

// Where copy k must show which colour, as points in the source's own user
// space: in our test sources page k paints a 50 px square of its own colour
// centred at (45 + 60(k-1), 45) and nothing else reaches these points, so
// copy k must show its own square there and white at every other page's.
const WHITE = [255, 255, 255];
const markerProbes = (colours) => colours.map((_, k) => colours.map((colour, j) => (
  { x: 45 + 60 * j, y: 45, colour: j === k ? colour : WHITE })));

// What each source must give, written from the sources by hand. The
// examples are the two drawings in examples/, the pictures in docs/ show
// them; the test sources paint marks that tell every page apart on a
// screenshot. probes[k-1] lists the colours copy k must show.
const CASES = [
  {
    name: 'example, page bar',
    source: 'examples/untitled.svg',
    screenshot: 'viewer-page-bar.png',
    pages: [[595, 841], [841, 595], [400, 300]],
    outline: null,
    // Each page's background at a point that page 1 does not cover or
    // that page k paints over.
    probes: [
      [{ x: 100, y: 700, colour: [0xe8, 0xf1, 0xfb] }],
      [{ x: 700, y: 300, colour: [0xfd, 0xf0, 0xe0] }],
      [{ x: 350, y: 250, colour: [0xee, 0xf7, 0xe8] }],
    ],
  },
  {
    name: 'example, outline',
    source: 'examples/sample.svg',
    screenshot: 'viewer-outline.png',
    pages: [[595, 841], [841, 595], [400, 300]],
    outline: [
      { text: '[1] Site plan', href: '#page1', children: [
        { text: '[2] Ground floor', href: '#page2', children: [] },
        { text: '[3] Garden shed', href: '#page3', children: [] },
      ] },
    ],
    probes: [
      [{ x: 100, y: 700, colour: [0xe8, 0xf1, 0xfb] }],
      [{ x: 700, y: 300, colour: [0xfd, 0xf0, 0xe0] }],
      [{ x: 350, y: 250, colour: [0xee, 0xf7, 0xe8] }],
    ],
  },
  {
    name: 'marks, page bar',
    source: 'tests/browser/sources/page_bar.svg',
    pages: [[320, 240], [240, 320], [280, 280]],
    outline: null,
    probes: markerProbes([[0xd0, 0x30, 0x30], [0x20, 0xa0, 0x40], [0x20, 0x50, 0xd0]]),
  },
  {
    name: 'marks, outline',
    source: 'tests/browser/sources/outline.svg',
    pages: [[300, 200], [260, 300], [280, 240], [320, 260]],
    outline: [
      { text: '[1] Chapter 1', href: '#page1', children: [
        { text: '[2] Section 1.1', href: '#page2', children: [] },
        { text: '[3] Section 1.2', href: '#page3', children: [] },
      ] },
      { text: '[4] Chapter 2', href: '#page4', children: [] },
    ],
    probes: markerProbes([[0xd0, 0x30, 0x30], [0x20, 0xa0, 0x40], [0x20, 0x50, 0xd0], [0xc0, 0x80, 0x00]]),
  },
];

// Old browsers' getElementById also returned the first element whose name
// attribute matched; the viewer's script finds embedded copy k that way. The
// test puts this into the viewer page only, never into riruride's output.
const NAME_LOOKUP_SHIM = `(() => {
  if (window !== window.top) return;
  const byId = Document.prototype.getElementById;
  Document.prototype.getElementById = function (id) {
    return byId.call(this, id) || this.getElementsByName(id)[0] || null;
  };
})();`;

let failures = 0;

// Prints one check's outcome; a failed check makes the run exit 1.
function check(ok, what, detail = '') {
  if (ok) {
    console.log(`ok - ${what}`);
  } else {
    failures += 1;
    console.log(`not ok - ${what}${detail ? `\n    ${detail}` : ''}`);
  }
}

const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);
const shown = (value) => JSON.stringify(value);

function skip(reason) {
  console.log(`SKIP: ${reason}`);
  process.exit(0);
}

// Returns {exe, screenshots}; exits 2 on a malformed command line.
function parseArgs(argv) {
  const args = { exe: null, screenshots: null };
  for (let i = 0; i < argv.length; i += 1) {
    if (argv[i] === '--exe' && i + 1 < argv.length) args.exe = path.resolve(argv[++i]);
    else if (argv[i] === '--screenshots' && i + 1 < argv.length) args.screenshots = path.resolve(argv[++i]);
    else {
      console.error(`usage: node viewer_test.mjs --exe PATH [--screenshots DIR] (unexpected "${argv[i]}")`);
      process.exit(2);
    }
  }
  if (!args.exe) {
    console.error('usage: node viewer_test.mjs --exe PATH [--screenshots DIR]');
    process.exit(2);
  }
  return args;
}

// Returns the Chromium to drive: $RIRURIDE_CHROMIUM or /usr/bin/chromium;
// skips the test when it is not an executable file.
function findChromium() {
  const candidate = process.env.RIRURIDE_CHROMIUM || '/usr/bin/chromium';
  try {
    fs.accessSync(candidate, fs.constants.X_OK);
  } catch (error) {
    skip(`no Chromium at ${candidate} (${error.code}); install Debian's chromium or set RIRURIDE_CHROMIUM`);
  }
  return candidate;
}

// Returns playwright-core's chromium launcher; skips when it is not installed.
async function loadPlaywright() {
  try {
    return (await import('playwright-core')).chromium;
  } catch (error) {
    skip(`playwright-core is not installed in ${HERE} (${error.code || error.message}); run "npm ci" there`);
  }
}

// Copies the case's source into dir and runs riruride on it there (the
// document goes to TEMP=dir, the fragments to the current directory dir).
// Returns the source path and the document path, or null after a failed check.
function writeDocument(exe, testCase, dir) {
  const source = path.join(dir, path.basename(testCase.source));
  fs.copyFileSync(path.join(REPOSITORY, testCase.source), source);
  const run = spawnSync(exe, [source], {
    cwd: dir,
    env: { ...process.env, TEMP: dir, BROWSER: 'true' },
    encoding: 'utf8',
  });
  const document = path.join(dir, 'zuvaduv_multiview.htm');
  const written = run.status === 0 && fs.existsSync(document);
  check(written, `${testCase.name}: riruride writes the viewer document`,
    `exit ${run.status}${run.error ? ` (${run.error.message})` : ''}; stderr: ${run.stderr}`);
  return written ? { source, document } : null;
}

// Starts Chromium with a fresh profile and the given extra flags; returns
// the browser context and a function that closes it and removes the profile.
async function launch(chromium, executablePath, extraArgs) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'riruride-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath,
    headless: true,
    args: [...CHROMIUM_ARGS, ...extraArgs],
    viewport: { width: 1000, height: 700 },
    deviceScaleFactor: 1,
  });
  return {
    context,
    close: async () => {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Opens the document in a new tab, with the name lookup shim when asked;
// returns the tab and the list that collects its script errors.
async function open(context, documentPath, withShim) {
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  if (withShim) await page.addInitScript(NAME_LOOKUP_SHIM);
  await page.goto(pathToFileURL(documentPath).href, { waitUntil: 'load' });
  return { page, errors };
}

// Returns what the checks need of the document, read through its DOM.
function readDocument(page) {
  return page.evaluate(() => {
    const tree = (list) => [...list.children].filter((item) => item.tagName === 'LI').map((item) => {
      const link = item.querySelector(':scope > a');
      const nested = item.querySelector(':scope > ul');
      return {
        text: link ? link.textContent : null,
        href: link ? link.getAttribute('href') : null,
        children: nested ? tree(nested) : [],
      };
    });
    // Follows every link inside the page and notes which anchor became the
    // target, as the browser resolves the fragment.
    const links = [...document.querySelectorAll('a[href]')].map((link) => {
      link.click();
      const target = document.querySelector(':target');
      return {
        href: link.getAttribute('href'),
        inOutline: link.closest('ul') !== null,
        target: target ? target.getAttribute('name') || target.id : null,
      };
    });
    const toc = document.querySelector('body > ul');
    return {
      characterSet: document.characterSet,
      title: document.title,
      notice: document.querySelector('p') ? document.querySelector('p').textContent : null,
      h3: [...document.querySelectorAll('h3')].map((h) => h.textContent),
      h4: [...document.querySelectorAll('h4')].map((h) => h.textContent),
      pageBarLabel: document.body.textContent.includes('Page\n'),
      embeds: [...document.querySelectorAll('embed')].map((embed) => {
        const box = embed.getBoundingClientRect();
        const anchor = embed.closest('a[name]');
        return {
          name: embed.getAttribute('name'),
          src: embed.getAttribute('src'),
          width: box.width,
          height: box.height,
          anchor: anchor ? anchor.getAttribute('name') : null,
        };
      }),
      links,
      outline: toc ? tree(toc) : null,
      nameLookup: document.getElementById('svg2') !== null,
      svgDocuments: [...document.querySelectorAll('embed')].map((embed) => embed.getSVGDocument() !== null),
    };
  });
}

// Checks the document's structure and texts against the case.
function checkStructure(testCase, source, seen) {
  const name = testCase.name;
  check(seen.characterSet === 'Shift_JIS', `${name}: the browser decodes the document as Shift_JIS`,
    `document.characterSet is ${seen.characterSet}`);
  check(seen.title === `${CAPTION} - ${source}`, `${name}: the title reads "${CAPTION} - <source>"`,
    `title is ${shown(seen.title)}`);
  check(seen.notice === NOTICE, `${name}: the notice reads ${NOTICE}`, `notice is ${shown(seen.notice)}`);

  const pages = testCase.pages;
  check(seen.embeds.length === pages.length, `${name}: the document embeds ${pages.length} copies`,
    `found ${seen.embeds.length}`);
  pages.forEach(([width, height], index) => {
    const k = index + 1;
    const embed = seen.embeds[index] || {};
    check(embed.width === width && embed.height === height,
      `${name}: copy ${k} is ${width} x ${height} px`,
      `the browser lays it out at ${embed.width} x ${embed.height}`);
    check(embed.name === (k === 1 ? 'svg' : `svg${k}`) && embed.anchor === `page${k}` && embed.src === source,
      `${name}: copy ${k} embeds the source, is named for the script and sits in anchor page${k}`,
      shown(embed));
  });

  for (const link of seen.links) {
    check(link.target !== null && `#${link.target}` === link.href,
      `${name}: link ${link.href} leads to an anchor that exists`,
      `the browser found ${link.target === null ? 'no target' : `target ${link.target}`}`);
  }
  const barLinks = seen.links.filter((link) => !link.inOutline).map((link) => link.href);
  const outlineLinks = seen.links.filter((link) => link.inOutline).map((link) => link.href);

  if (testCase.outline === null) {
    const expected = pages.map((_, index) => `#page${index + 1}`);
    check(seen.pageBarLabel && same(barLinks, expected), `${name}: the page bar links ${expected.join(' ')}`,
      `page bar label ${seen.pageBarLabel}, links ${shown(barLinks)}`);
    check(seen.outline === null && seen.h3.length === 0 && seen.h4.length === 0,
      `${name}: no table of contents`, `outline ${shown(seen.outline)}, h3 ${shown(seen.h3)}, h4 ${shown(seen.h4)}`);
  } else {
    check(barLinks.length === 0 && !seen.pageBarLabel, `${name}: no plain page bar`, shown(barLinks));
    check(same(seen.h3, [source]), `${name}: the heading names the source`, `h3 ${shown(seen.h3)}`);
    check(same(seen.h4, [TOC_HEADING, CONTENTS_HEADING]),
      `${name}: the headings read ${TOC_HEADING} and ${CONTENTS_HEADING}`, `h4 ${shown(seen.h4)}`);
    check(same(seen.outline, testCase.outline), `${name}: the table of contents nests as the source does`,
      `found ${shown(seen.outline)}`);
    check(outlineLinks.length > 0, `${name}: the table of contents has links`, shown(outlineLinks));
  }
}

// Returns, for every embedded copy in document order, the visibility that the
// browser computes for each page group of its SVG document (page1 first) and
// where the given points of the source's user space lie in the copy's box,
// in whole pixels; null for a copy that has no SVG document.
async function readCopies(page, pageCount, probes = []) {
  const copies = new Array(pageCount).fill(null);
  for (const frame of page.frames()) {
    if (frame === page.mainFrame()) continue;
    const owner = await frame.frameElement();
    const name = await owner.evaluate((element) => element.getAttribute('name'));
    const k = name === 'svg' ? 1 : Number(String(name).replace(/^svg/, ''));
    if (!(k >= 1 && k <= pageCount)) continue;
    copies[k - 1] = await frame.evaluate(({ count, points }) => {
      const visibility = [];
      for (let j = 1; j <= count; j += 1) {
        const group = document.getElementById(`page${j}`);
        visibility.push(group ? getComputedStyle(group).visibility : 'missing');
      }
      const m = document.documentElement.getScreenCTM();
      const pixels = points.map(({ x, y }) => ({
        x: Math.floor(m.a * x + m.c * y + m.e),
        y: Math.floor(m.b * x + m.d * y + m.f),
      }));
      return { visibility, pixels };
    }, { count: pageCount, points: probes[k - 1] || [] });
  }
  return copies;
}

// The visibility each page group must have when copy k shows page k alone.
const showing = (k, count) => Array.from({ length: count }, (_, j) => (j + 1 === k ? 'visible' : 'hidden'));

// Returns the RGB colour at each point of a PNG, read back through a canvas.
async function coloursAt(decoder, png, points) {
  return decoder.evaluate(async ({ data, at }) => {
    const image = new Image();
    image.src = `data:image/png;base64,${data}`;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return at.map(({ x, y }) => [...context.getImageData(x, y, 1, 1).data.slice(0, 3)]);
  }, { data: png.toString('base64'), at: points });
}

// Flat fills come out of the screenshot exactly; a little room for rounding.
const near = (a, b) => a.every((value, i) => Math.abs(value - b[i]) <= 4);

// Checks that copy k shows page k and hides the other pages, in each SVG
// document and at the case's probe points on a screenshot of each embed.
async function checkEachCopy(testCase, page, errors, decoder) {
  const name = testCase.name;
  const count = testCase.pages.length;
  check(errors.length === 0, `${name}: the viewer's script runs without errors`, errors.join('; '));
  const copies = await readCopies(page, count, testCase.probes);
  const embeds = await page.$$('embed');
  for (let k = 1; k <= count; k += 1) {
    const copy = copies[k - 1];
    check(copy !== null && same(copy.visibility, showing(k, count)),
      `${name}: copy ${k} shows page ${k} and hides the others in its SVG document`,
      `visibility of page1..page${count}: ${shown(copy && copy.visibility)}`);
    if (copy === null || !embeds[k - 1]) continue;
    const png = await embeds[k - 1].screenshot();
    const colours = await coloursAt(decoder, png, copy.pixels);
    const expected = testCase.probes[k - 1].map((probe) => probe.colour);
    check(colours.every((colour, j) => near(colour, expected[j])),
      `${name}: the screenshot of copy ${k} shows page ${k} alone`,
      `colours at ${shown(copy.pixels)}: ${shown(colours)}, expected ${shown(expected)}`);
  }
}

// Checks what the README says of today's Chromium: without the two features
// the script fails and every copy shows the file's first page.
async function checkPlainBrowser(testCase, page, errors, seen) {
  const name = testCase.name;
  const count = testCase.pages.length;
  const why = 'the README\'s Browsers section says current Chromium lacks this; update it if that changed';
  check(!seen.nameLookup, `${name}: plain Chromium's getElementById does not find an embed by its name`, why);
  check(seen.svgDocuments.every((reached) => !reached),
    `${name}: plain Chromium does not let the file:// page reach the embedded SVG documents`,
    `${why}; reached: ${shown(seen.svgDocuments)}`);
  const copies = await readCopies(page, count);
  check(copies.every((copy) => copy !== null && same(copy.visibility, showing(1, count))),
    `${name}: in plain Chromium every copy shows page 1`, `${why}; found ${shown(copies)}`);
  if (count >= 2) {
    check(errors.length > 0, `${name}: in plain Chromium the viewer's script stops with an error`, why);
  }
}

async function main() {
  const args = parseArgs(process.argv.slice(2));
  const executablePath = findChromium();
  const chromium = await loadPlaywright();
  if (!fs.existsSync(args.exe)) {
    console.error(`riruride not found at ${args.exe}`);
    process.exit(1);
  }

  // A fixed folder for the screenshots, so that the path they show does not
  // change from one run to the next; a fresh one for test runs.
  let work = path.join(os.tmpdir(), 'riruride-example');
  if (args.screenshots) fs.rmSync(work, { recursive: true, force: true });
  else work = fs.mkdtempSync(path.join(os.tmpdir(), 'riruride-browser-'));
  const documents = [];
  for (const testCase of CASES) {
    const dir = path.join(work, testCase.name.replace(/[^a-z]+/g, '-'));
    fs.mkdirSync(dir, { recursive: true });
    const written = writeDocument(args.exe, testCase, dir);
    if (written) documents.push({ testCase, ...written });
  }

  const plain = await launch(chromium, executablePath, []);
  try {
    for (const { testCase, source, document } of documents) {
      const { page, errors } = await open(plain.context, document, false);
      const seen = await readDocument(page);
      checkStructure(testCase, source, seen);
      await checkPlainBrowser(testCase, page, errors, seen);
      await page.close();
    }
  } finally {
    await plain.close();
  }

  const featured = await launch(chromium, executablePath, ['--allow-file-access-from-files']);
  try {
    const decoder = await featured.context.newPage();
    for (const { testCase, document } of documents) {
      const { page, errors } = await open(featured.context, document, true);
      await checkEachCopy(testCase, page, errors, decoder);
      if (args.screenshots && testCase.screenshot) {
        fs.mkdirSync(args.screenshots, { recursive: true });
        const file = path.join(args.screenshots, testCase.screenshot);
        await page.screenshot({ path: file, fullPage: true });
        console.log(`# wrote ${file}`);
      }
      await page.close();
    }
  } finally {
    await featured.close();
  }

  fs.rmSync(work, { recursive: true, force: true });
  console.log(failures === 0 ? '# all browser checks passed' : `# ${failures} browser check(s) failed`);
  process.exit(failures === 0 ? 0 : 1);
}

main().catch((error) => {
  console.error(`viewer test stopped: ${error.stack || error}`);
  process.exit(1);
});
