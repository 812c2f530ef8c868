// The static MAC pages in headless Chromium, served by the demo on a
// simulated switch, used the way an operator uses them.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdirSync, readFileSync } from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import AxeBuilder from '@axe-core/playwright';

const SRC = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const BUILD = process.env.BUILD_DIR ?? path.join(SRC, 'build');
const SHOTS = process.env.ARTIFACT_DIR ?? path.join(BUILD, 'artifacts', 'browser');
const CHROMIUM_ARGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const [LIST, ADD] = ['web_mac_static.cgi', 'web_mac_static_add.cgi'];
// The switch's ports, in the order it lists them.
const PORTS = [...Array.from({ length: 24 }, (_, i) => `eth-0-${i + 1}`),
  ...Array.from({ length: 8 }, (_, i) => `agg${i + 1}`)];

// Asks fn every 100 ms until it answers true, at most n times.
async function until(fn, n = 50) {
  for (let i = 0; i < n; i++, await new Promise((r) => setTimeout(r, 100))) if (await fn()) return true;
  return false;
}

const freePort = () => new Promise((resolve, reject) => {
  const srv = net.createServer().on('error', reject);
  srv.listen(0, '127.0.0.1', () => { const { port } = srv.address(); srv.close(() => resolve(port)); });
});

// Starts the demo in its own namespaces and waits until it answers. The namespace ends with its first process
// (unshare passes SIGTERM by, so stop it with SIGKILL: --kill-child then takes the servers with it).
async function startDemo(env = {}) {
  const port = await freePort();
  const proc = spawn(path.join(SRC, 'scripts/sandbox.sh'),
    // The trees stay reachable under the sandbox's tmpfs (a checkout in /tmp).
    ['--pid', '--keep', SRC, '--keep', BUILD, path.join(SRC, 'scripts/demo-serve'), BUILD, String(port)],
    { env: { ...process.env, ...env }, stdio: ['ignore', 'ignore', 'inherit'] });
  const url = `http://127.0.0.1:${port}/`;
  if (await until(() => fetch(url).then((r) => r.ok, () => false), 100)) return { url, stop: () => proc.kill('SIGKILL') };
  proc.kill('SIGKILL');
  throw new Error('the demo did not start');
}

let demo, browser;
before(async () => {
  mkdirSync(SHOTS, { recursive: true });
  [demo, browser] = await Promise.all([startDemo(),
    chromium.launch({ executablePath: '/usr/bin/chromium', args: CHROMIUM_ARGS })]);
});
after(async () => {
  await browser?.close();
  demo?.stop();
});

// The cells of each row of a table, a row a line.
const cells = (page, rows, cols) => page.$$eval(rows, (trs, cols) => trs.map((r) => cols.map((c) =>
  (c === 'class' ? r.className : r.querySelector(c).textContent.trim())).join(' ')), cols);

// What an operator does in a step.
const ACTIONS = {
  open: (page, [cgi, view = '']) => page.goto(`${page.base}${cgi}?${page.query}${view}`),
  fill: async (page, fields) => {
    for (const [sel, v] of Object.entries(fields)) {
      await (await page.$eval(sel, (e) => e.tagName === 'SELECT') ? page.selectOption(sel, v) : page.fill(sel, v));
    }
  },
  click: (page, sel) => page.click(sel),
  go: async (page, sels) => { for (const sel of [sels].flat()) await Promise.all([page.waitForNavigation(), page.click(sel)]); },
  // Entries ("mac,vlan,interface", one or a list) through the add form.
  add: async (page, lines) => {
    for (const [mac, vlan, intf] of [lines].flat().map((l) => l.split(','))) {
      const [a0, a1, a2] = mac.split('.');
      await step(page, await page.$('#add_form') ? {} : { go: '#add_link' },
        { fill: { '#addr0': a0, '#addr1': a1, '#addr2': a2, '#intf_name': intf, '#vlan': vlan }, go: '#add_bn' });
    }
  },
  // Rows by their checkbox's value or its start (a MAC), or "all" of the page.
  tick: async (page, rows) => {
    for (const r of [rows].flat()) await page.check(r === 'all' ? '#select_all' : `#entries input[value^="${r}"]`);
  },
  // Delete, the confirmation answered "accept" or "dismiss".
  delete: (page, answer) => ACTIONS[answer === 'accept' ? 'go' : 'click'](
    Object.assign(page, { asked: undefined, confirm: answer }), '#delete_bn'),
  // A file into "Add several entries" as the file choice does, read by the browser into the box.
  load: (page, file) => page.setInputFiles('#entries_file', file)
    .then(() => page.waitForFunction(() => document.getElementById('entries').value !== '')),
  // A list the browser's check should stop (a submit it let through would have started its request within 250 ms).
  stopped: (page, text) => step(page, { fill: { '#entries': text }, click: '#add_many_bn', wait: 250, posts: 0, url: page.url() }),
  // Clicked twice, the second while the first is under way (its answer held back 300 ms).
  twice: async (page, sel) => {
    const { x, y } = await page.locator(sel).boundingBox();
    await page.route('**/*.cgi*', (r) => setTimeout(() => r.continue(), 300), { times: 1 });
    for (const ms of [100, 150]) await page.mouse.click(x + 4, y + 4).then(() => page.waitForTimeout(ms));
  },
  // Milliseconds, a selector or the page's address.
  wait: (page, w) => (typeof w === 'number' ? page.waitForTimeout(w) : w instanceof RegExp ? page.waitForURL(w)
    : page.waitForSelector(w)),
  // Tab alone until the focus is on a selector, then keys pressed (Enter waits for the page it leads to) or text typed.
  tab: async (page, [selector, ...keys]) => {
    for (let i = 0; !await page.evaluate((s) => document.activeElement?.matches(s), selector); i++) {
      if (i === 300) throw new Error(`${selector} is not reached with Tab`);
      await page.keyboard.press('Tab');
    }
    for (const k of keys) {
      if (k === 'Enter') await Promise.all([page.waitForNavigation(), page.keyboard.press(k)]);
      else await (['Tab', 'Space'].includes(k) ? page.keyboard.press(k) : page.keyboard.type(k));
    }
  },
  // A script run in the page, as an operator's tampering would be.
  script: (page, js) => page.evaluate(js),
  // Every page draws one panel: that is what an operator looks at (where a name is given).
  shot: (page, name) => name && page.locator('main').screenshot({ path: path.join(SHOTS, `${name}.png`) }),
};
const READS = {
  url: (page) => page.url(),
  rows: (page) => cells(page, '#entries tbody tr', ['.mac', '.vlan', '.type', '.intf']),
  listed: (page) => READS.rows(page),
  // The answer to "Add several entries", a row a line: outcome, line, entry.
  answer: (page) => cells(page, '#results tbody tr', ['class', '.line', '.mac', '.vlan', '.intf']),
  asked: (page) => page.asked,
  // The POSTs sent since the step began.
  posts: (page) => page.posts - page.postsBefore,
};

// Steps of an operator's walk, each one's keys taken in order: an action, a read above ("listed" wants some of the
// rows), or a selector whose text is wanted (equal, matching a pattern or a predicate; a list for every match) or with
// "@name" an attribute's (value and validationMessage: what the field holds); null wants it absent, true shown.
async function step(page, ...wants) {
  page.postsBefore = page.posts;
  for (const [key, w] of wants.flatMap(Object.entries)) {
    if (ACTIONS[key]) {
      await ACTIONS[key](page, w);
      continue;
    }
    const [sel, name] = key.split('@');
    let got;
    if (READS[key]) got = await READS[key](page);
    else if (w === null) got = await page.$(sel);
    else if (w === true) got = await page.isVisible(sel);
    else {
      got = await page.$$eval(sel, (es, n) => es.map((e) => (!n ? e.textContent
        : ['value', 'validationMessage'].includes(n) ? e[n] : e.getAttribute(n))), name);
      if (!Array.isArray(w)) got = got[0];
    }
    if (key === 'listed') assert.deepEqual(w.filter((r) => !got.includes(r)), [], `not among\n${got.join('\n')}`);
    else if (typeof w === 'function') assert.ok(w(got), `${key}: ${JSON.stringify(got)}`);
    else if (w instanceof RegExp) assert.match(got, w, key);
    else assert.deepEqual(got, w, key);
  }
}

// Logs in where a user is named (the password is the name), hands the page to fn and logs out whatever became of it:
// the demo's IMI keeps a few sessions only. The page keeps its server, session query, POSTs sent and last confirmation.
async function as(user, fn, { lang = 'en', base = demo.url, password = user } = {}) {
  const page = Object.assign(await (await browser.newContext()).newPage(), { base, posts: 0 });
  page.on('request', (r) => { page.posts += r.method() === 'POST'; });
  page.on('dialog', (d) => { page.asked = d.message(); return page.confirm === 'dismiss' ? d.dismiss() : d.accept(); });
  await page.goto(base);
  await step(page, { wait: '#login_form' }, user ? { fill: { '#username': user, '#password': password, '#lang': lang },
    go: '#login_bn' } : {});
  page.sessionId = new URL(page.url()).searchParams.get('sessionId');
  page.query = `sessionId=${page.sessionId}&lang=${lang}`;
  await fn(page).finally(async () => {
    if (page.sessionId) await page.goto(`${base}web_login.cgi?operate=logout&${page.query}`).catch(() => {});
    await page.context().close();
  });
}

// Posts fields as a form of the page would, through its fetch ("x-www-form-urlencoded;charset=UTF-8"), not following the answer.
const post = (page, cgi, view, fields) => page.evaluate(([url, fields]) =>
  fetch(url, { method: 'POST', body: new URLSearchParams(fields), redirect: 'manual' }).then((r) => r.type),
[`${cgi}?${page.query}${view}`, fields]);

test('a pasted list is checked in the browser and added; a loaded one shows what was refused, to mend', () => as('admin', (page) => {
  const good = '0000.0f0f.0001,10,eth-0-1\n00:00:0F:0F:00:02\t10 \teth-0-2\n00-00-0f-0f-00-03 20 agg1';
  const bad = good.replace('00:02', '00:0g');
  const text = 'mac,vlan,interface\r\n0000.0f0f.0011,30,eth-0-24\r\n0000.0f0f.0012,40,eth-0-24\r\n00-00-0f-0f-00-13,20,agg8\r\n';
  // Each note quotes its line, as typed; the notes follow the mending.
  return step(page, { go: '#add_link', stopped: bad, '#entries_errors li .text': [bad.split('\n')[1].trim()],
    '#entries_errors li .why': ['Line 2: not a MAC address (xxxx.xxxx.xxxx, xx:xx:xx:xx:xx:xx or xx-xx-xx-xx-xx-xx)'],
    // The box numbers its lines, the numbers the notes name.
    '#entries_lines': '1\n2\n3', shot: 'add-many-mistyped', fill: { '#entries': good }, '#entries_errors li': null },
  { go: '#add_many_bn', '#summary': 'Added: 3 · refused: 0 · not known: 0 · not valid: 0', shot: 'add-many-result',
    answer: ['added 1 0000.0f0f.0001 10 eth-0-1', 'added 2 0000.0f0f.0002 10 eth-0-2', 'added 3 0000.0f0f.0003 20 agg1'] },
  { go: '#table_link' }, { go: '#add_link', load: { name: 'entries.csv', mimeType: 'text/csv', buffer: Buffer.from(text) },
    '#entries@value': text.replaceAll('\r\n', '\n'), '#entries_lines': '1\n2\n3\n4\n5' },
  // The title says what became of the list; the lines not added can be shown alone, and go back, only they, to be mended.
  { go: '#add_many_bn', h1: '2 added, 1 refused', '#summary': 'Added: 2 · refused: 1 · not known: 0 · not valid: 0',
    answer: ['added 2 0000.0f0f.0011 30 eth-0-24', 'refused 3 0000.0f0f.0012 40 eth-0-24', 'added 4 0000.0f0f.0013 20 agg8'],
    '#results tr.refused .reason': 'Cannot add 0000.0f0f.0012 to VLAN 40: VLAN 40 does not exist', click: '#only_not_added',
    '#results tbody tr:not([hidden])@class': ['refused'] },
  { go: '#mend_link', '#entries@value': '0000.0f0f.0012,40,eth-0-24', open: [LIST],
    listed: ['0000.0f0f.0011 30 static eth-0-24', '0000.0f0f.0013 20 static agg8'],
    rows: (rows) => !rows.some((r) => r.startsWith('0000.0f0f.0012')) });
}));

test('entries are removed after a confirmation, a page at most at a time, and the syslog says who', () => as('admin', async (page) => {
  const rows = (...n) => n.map((i) => `0000.0c0c.000${i} 1 static eth-0-${9 + i}`);
  await step(page, { add: [1, 2, 3].map((i) => `0000.0c0c.000${i},1,eth-0-${9 + i}`), fill: { '#vlan': '1' }, go: '#filter_bn',
    rows: rows(1, 2, 3), '#delete_bn:disabled': true, shot: 'listing' },
  // Cancelled: nothing goes.
  { tick: '0000.0c0c.0001', delete: 'dismiss', asked: 'Delete 1 static entry?' });
  await page.reload();
  await step(page, { rows: rows(1, 2, 3), tick: '0000.0c0c.0001', delete: 'accept', asked: 'Delete 1 static entry?',
    url: /web_mac_static\.cgi\?sessionId=\d+&lang=en&intf_name=all&vlan=1&order=asc&per_page=50&page=1&removed=1$/,
    '#removed_note': '1 entry removed.' }, { rows: rows(2, 3) });

  // The switch's syslog holds who did both, in the demo's file.
  const wanted = [['_add', 'add'], ['', 'remove']].map(([cgi, action]) => `web_mac_static${cgi}.cgi[] user="admin" `
    + `addr="127.0.0.1" action=${action} mac="0000.0c0c.0001" intf="eth-0-10" vlan="1" result=ok known=cli`);
  const missing = () => wanted.filter((w) => !readFileSync(path.join(BUILD, 'demo', 'messages'), 'utf8').split('\n')
    .some((line) => line.replace(/\[\d+\]:/, '[]').endsWith(w)));
  await until(() => !missing().length);
  assert.deepEqual(missing(), []);

  // Select all at the largest page removes it whole in one run; more, sent anyway, is refused whole.
  const macs = Array.from({ length: 201 }, (_, i) => `0000.0d0d.${String(1000 + i)}`);
  const view = '&vlan=10&intf_name=eth-0-5';
  await post(page, ADD, '', [['operate', 'add_many'], ['entries', macs.map((m) => `${m},10,eth-0-5`).join('\n')]]);
  await post(page, LIST, view, [['operate', 'delete'], ...macs.map((m) => ['sel', `${m} eth-0-5 10`])]);
  await step(page, { open: [LIST, `${view}&sort=mac&per_page=200`], rows: macs.slice(0, 200).map((m) => `${m} 10 static eth-0-5`),
    tick: 'all', delete: 'accept', asked: 'Delete 200 static entries?', '#removed_note': '200 entries removed.' },
  { rows: [`${macs[200]} 10 static eth-0-5`], tick: 'all', delete: 'accept' },
  { rows: [], '#no_entries': true, '#count': '0 of 0' });
}));

test('the error page shows foreign text as text and links only into this interface', () => as(null, async (page) => {
  const markup = '<img src=x onerror=alert(1)>';
  for (const rdr of ['https://evil.example/a.cgi', 'javascript:alert(1)//x.cgi', '../x.cgi']) {
    await page.goto(`${page.base}web_error.cgi?${new URLSearchParams({ sessionId: 4, lang: 'en', rdrpage: rdr, errid: markup })}`);
    await step(page, { '#error_message': markup, '#error_message img': null, '#back_link@href': 'web_login.cgi?sessionId=4&lang=en' });
  }
}));

test('the pages speak Chinese for cn', () => as('admin', (page) => {
  // The browser's notes, a repeat that is no conflict, and the answer.
  const text = 'mac,vlan,interface\n\n0000.0f0f.0021,10,eth-0-3\n0000.0f0f.0022,4095,eth-0-4\n0000.0f0f.0021 10 eth-0-5';
  return step(page, { url: /lang=cn$/, h1: '静态MAC地址表', '#select_all@title': '选择本页全部表项' },
    { go: '#add_link', h1: '添加静态MAC地址表项', '#add_bn': '添加', shot: 'add-form-cn', stopped: text,
      '#entries_errors li .why': ['第 3 行：与第 5 行的MAC地址和VLAN相同，但接口不同', '第 4 行：不是 1 到 4094 之间的 VLAN',
        '第 5 行：与第 3 行的MAC地址和VLAN相同，但接口不同'] },
    { fill: { '#entries': text.replace('4095', '20').replace('eth-0-5', 'eth-0-3') }, go: '#add_many_bn',
      '#summary': '已添加 3 个 · 被拒绝 0 个 · 结果未知 0 个 · 无效 0 个', '#results tbody tr .line': ['3', '4', '5'],
      '#results tbody tr .outcome': ['已添加', '已添加', '已添加 (与第 3 行是同一表项)'] },
    { go: ['#form_link', 'a[href*="lang=en"]'], '#add_form': true, h1: 'Add static MAC address entry' });
}, { lang: 'cn' }));

test('a refused login shows the reason IMI gives; logging out or idling ends the session', async () => {
  await as('admin', (page) => step(page, { url: /web_login\.cgi$/, '#login_error': /\S/, shot: 'login-refused' }),
    { password: 'wrong' });
  await as('admin', (page) => step(page, { go: '#logout_link', wait: '#notice', open: [LIST] }, { wait: /web_login\.cgi/ }));
  const short = await startDemo({ DEMO_IDLE: '2' });
  await as('admin', (page) => step(page, { url: /web_mac_static\.cgi/, wait: 3500, click: '#add_link' }, { wait: /web_login\.cgi/ },
    { wait: '#login_form', shot: 'expired-session' }), { base: short.url }).finally(short.stop);
});

test('a limited user gets no way to add or remove, and a forged POST is refused', async () => {
  const entry = '0000.0d0d.0001 10 static eth-0-20';
  await as('admin', (admin) => step(admin, { add: '0000.0d0d.0001,10,eth-0-20' }));
  await as('viewer', async (page) => {
    await step(page, { listed: [entry], '#add_link': null, '#entries input[type=checkbox]': null, '#delete_bn': null,
      shot: 'listing-limited' },
    // Typed in, the add page offers no add.
    { open: [ADD], '#add_bn': null, '#no_privilege': true, shot: 'add-form-limited' });
    // Forms the pages never offered, posted from that session.
    for (const [cgi, fields, shot] of [[ADD, { addr0: '00e0', addr1: 'fc0a', addr2: '0bad', intf_name: 'eth-0-5', vlan: '10',
      add_bn: 'add' }, 'forged-post-refused'], [LIST, { operate: 'delete', sel: '0000.0d0d.0001 eth-0-20 10' }]]) {
      await page.setContent(`<form method="post" action="${page.base}${cgi}?${page.query}">${Object.entries(fields)
        .map(([k, v]) => `<input name="${k}" value="${v}">`).join('')}<button id="go">x</button></form>`);
      await step(page, { go: '#go', url: /web_error\.cgi\?.*errid=error_no_privilege/, '#error_message': /not allowed/, shot });
    }
    await step(page, { open: [LIST], listed: [entry], rows: (rows) => !rows.some((r) => r.startsWith('00e0.fc0a.0bad')) });
  });
});

// The listing's view (sort, order, page size, page) on a switch of its own, so that every count is exact.
describe('a listing of 120 entries, sorted and paged', () => {
  // Each MAC in two VLANs, the ports in no column's order: every sort has ties to break, and "eth-0-10" sorts after "eth-0-9".
  let entries = Array.from({ length: 120 }, (_, i) => ({ mac: `0000.0e0e.${(((i * 37) % 120) >> 1).toString(16).padStart(4, '0')}`,
    vlan: [1, 10, 20, 30][i % 4], intf: PORTS[(i * 7) % 32] }));
  const row = (e) => `${e.mac} ${e.vlan} static ${e.intf}`;
  // What each column sorts by, its ties by VLAN, then MAC (by its last group, the only one that differs).
  const mac = (e) => parseInt(e.mac.slice(-4), 16);
  const KEYS = { mac: (e) => mac(e) * 100 + e.vlan, vlan: (e) => e.vlan * 1000 + mac(e),
    intf: (e) => PORTS.indexOf(e.intf) * 1e5 + e.vlan * 1000 + mac(e) };
  const sortedRows = (col, order, keep = () => true) => {
    const rows = entries.filter(keep).sort((a, b) => KEYS[col](a) - KEYS[col](b)).map(row);
    return order === 'desc' ? rows.reverse() : rows;
  };
  const numbers = (first, last) => Array.from({ length: last - first + 1 }, (_, i) => String(first + i));

  let sw;
  const onSwitch = (fn, lang = 'en') => () => as('admin', fn, { lang, base: sw.url });
  before(async () => {
    sw = await startDemo();
    await onSwitch((page) => post(page, ADD, '', [['operate', 'add_many'],
      ['entries', entries.map((e) => `${e.mac},${e.vlan},${e.intf}`).join('\n')]]))();
  });
  after(() => sw?.stop());

  test('the pager walks through them, each once, rows numbered through the view; a column head sorts', onSwitch(async (page) => {
    const [seen, links] = [[], ['first', 'prev', 'next', 'last'].map((u) => `page_${u}`)];
    for (const [link, first, last, n, usable] of [[[], 1, 50, 1, 'next last'],
      ['#page_next', 51, 100, 2, 'first prev next last'], ['#page_next', 101, 120, 3, 'first prev'],
      ['#page_first', 1, 50, 1, 'next last'], ['#page_last', 101, 120, 3, 'first prev'],
      ['#page_prev', 51, 100, 2, 'first prev next last']]) {
      await step(page, { go: link, '#count': `${first}–${last} of 120`, '#entries td.num': numbers(first, last),
        '#page_of': `Page ${n} of 3`, '#pager a@id': links.filter((l) => usable.includes(l.slice(5))),
        '#pager span.disabled[aria-disabled="true"]@id': links.filter((l) => !usable.includes(l.slice(5))) });
      if (seen.length < 120) seen.push(...await READS.rows(page));
    }
    assert.deepEqual(seen.sort(), entries.map(row).sort());
    // A column head sorts by its column, and reverses on a second click; the page size keeps the sort.
    for (const col of ['mac', 'vlan', 'intf']) {
      // Each column starts ascending at page 1, although the last view was on page 2.
      for (const [order, aria] of [['asc', 'ascending'], ['desc', 'descending']]) {
        await step(page, { go: `#sort_${col}`, '#count': '1–50 of 120', rows: sortedRows(col, order).slice(0, 50),
          '#entries th[aria-sort]@aria-sort': ['mac', 'vlan', 'intf'].map((c) => (c === col ? aria : 'none')) });
      }
      await step(page, { go: '#page_next', rows: sortedRows(col, 'desc').slice(50, 100) });
    }
    // The page size starts at page 1.
    await step(page, { fill: { '#per_page': '25' }, go: '#per_page_bn', '#count': '1–25 of 120', '#page_of': 'Page 1 of 5',
      '#per_page@value': '25', rows: sortedRows('intf', 'desc').slice(0, 25) },
    { fill: { '#per_page': '200' }, go: '#per_page_bn', '#count': '1–120 of 120', rows: sortedRows('intf', 'desc'), '#pager': null });
  }));

  test('filters keep the view, from page 1; a removal returns to its page of the view or the new last', onSwitch(async (page) => {
    const inVlan10 = sortedRows('mac', 'asc', (e) => e.vlan === 10);
    await step(page, { fill: { '#per_page': '25' }, go: ['#per_page_bn', '#sort_mac', '#page_next'] },
      { fill: { '#vlan': '10' }, go: '#filter_bn', '#count': '1–25 of 30', rows: inVlan10.slice(0, 25) },
      { go: '#page_next', '#count': '26–30 of 30', '#entries td.num': numbers(26, 30), rows: inVlan10.slice(25) },
      // "Select all" takes this page's rows only.
      { shot: 'listing-paged', tick: 'all', delete: 'accept', asked: 'Delete 5 static entries?', '#count': '1–25 of 25',
        url: /&vlan=10&sort=mac&order=asc&per_page=25&page=2&removed=5$/, rows: inVlan10.slice(0, 25), '#pager': null });
    entries = entries.filter((e) => !inVlan10.slice(25).includes(row(e)));
    // By interface, and by a MAC group in capitals. A filter value is shown back as text, never as markup; not a MAC
    // group, it is marked, and nothing is listed as if it were the table.
    await step(page, { fill: { '#vlan': '', '#intf_name': 'eth-0-3' }, go: '#filter_bn', shot: 'listing-filtered',
      rows: sortedRows('mac', 'asc', (e) => e.intf === 'eth-0-3') },
    { fill: { '#intf_name': 'all', '#addr2': '001E' }, go: '#filter_bn', rows: sortedRows('mac', 'asc', (e) => mac(e) === 0x1e) },
    { open: [LIST, `&addr0=${encodeURIComponent('"><b id=inj>')}`], '#inj': null, '#addr0@value': '"><b id=inj>',
      '#addr0@aria-invalid': 'true', '#filter_invalid': true, '#count': null });
    // A removal on page 2 returns to page 2 of the same view.
    await step(page, { open: [LIST], go: ['#sort_vlan', '#sort_vlan', '#page_next'] });
    const victim = entries.find((e) => row(e) === sortedRows('vlan', 'desc')[60]);
    entries = entries.filter((e) => e !== victim);
    await step(page, { tick: `${victim.mac} ${victim.intf} ${victim.vlan}`, delete: 'accept', asked: 'Delete 1 static entry?',
      url: /&sort=vlan&order=desc&per_page=50&page=2&removed=1$/, '#count': '51–100 of 114', '#page_of': 'Page 2 of 3',
      rows: sortedRows('vlan', 'desc').slice(50, 100) });
  }));

  test('the count and the pager speak Chinese for cn', onSwitch((page) => step(page, { '#count': '第 1–50 条，共 114 条' },
    { go: '#page_next', '#count': '第 51–100 条，共 114 条', '#page_of': '第 2 页，共 3 页', '#page_next': '下一页' },
    { fill: { '#vlan': '4000' }, go: '#filter_bn', '#count': '共 0 条' }), 'cn'));

  test('the export of a view holds all its pages, and loaded back it makes the same table', onSwitch(async (page) => {
    // Page 2 of a sorted view: the file holds the whole view, in its order.
    await step(page, { open: [LIST], go: ['#sort_intf', '#sort_intf', '#page_next'] });
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#export_link')]);
    assert.equal(download.suggestedFilename(), 'static-mac-table.csv');
    const file = path.join(SHOTS, 'static-mac-table.csv');
    await download.saveAs(file);
    assert.equal(readFileSync(file, 'utf8'), ['mac,vlan,interface', ...sortedRows('intf', 'desc')
      .map((r) => r.split(' ')).map(([m, vlan, , intf]) => `${m},${vlan},${intf}`), ''].join('\r\n'));
    // Emptied through the page, 50 rows at a time.
    await step(page, { open: [LIST] }, ...Array(Math.ceil(entries.length / 50)).fill({ tick: 'all', delete: 'accept' }),
      { '#count': '0 of 0', go: '#add_link', load: file },
      { go: '#add_many_bn', '#summary': `Added: ${entries.length} · refused: 0 · not known: 0 · not valid: 0`,
        '#results tr.added td.line': numbers(2, entries.length + 1) },
      { open: [LIST, '&sort=intf&order=desc&per_page=200'], rows: sortedRows('intf', 'desc') });
  }));
});

// What the browser says of a mistyped MAC group (0) and VLAN (1), in each language.
const MISTYPED = { en: ['Four hex digits (0-9, a-f)', 'A VLAN from 1 to 4094'],
  cn: ['请输入四位十六进制数（0-9、a-f）', '请输入 1 到 4094 之间的 VLAN'] };
// Each field mistyped in turn is caught in the browser, in the page's language; mended, it loses its note.
const mistyped = (lang) => [['#addr2', 'b1cz', 'b1c2', 0], ['#addr0', '0e0', '00e0', 0], ['#vlan', '4095', '4094', 1],
  ['#vlan', '0', '1', 1]].flatMap(([field, bad, good, n]) => [
  { fill: { '#addr0': '00e0', '#addr1': '00e0', '#addr2': '00e0', '#vlan': '10', [field]: bad }, click: '#add_bn',
    url: /_add\.cgi\?sessionId=\d+&lang=\w+$/, [`${field}@validationMessage`]: MISTYPED[lang][n],
    '.field-error:not(:empty)': MISTYPED[lang][n], shot: lang === 'en' && field === '#addr2' && 'add-form-mistyped' },
  { fill: { [field]: good }, [`${field}@validationMessage`]: '', '.field-error:not(:empty)': null }]);

// Every state of every page, each going on from the one before: [state, page opened and its view, what is done
// there (or a function of the language that gives it), its name in the phone screenshots].
const STATES = [
  ['listing, empty or not'], ['add form', [ADD], {}, 'add-form'],
  ['add form, a field error', [ADD], (lang) => [...mistyped(lang), { fill: { '#vlan': '5000' }, click: '#add_bn' }]],
  ['add form, a list error', [ADD], { fill: { '#entries': '00e0.fc0a.0001,1,eth-0-1\nnot a line\n' }, click: '#add_many_bn' }],
  // One line refused among enough added for more than a page.
  ['list result, mixed outcomes', [ADD], { fill: { '#entries': ['00e0.fc0d.0002,40,eth-0-1',
    ...Array.from({ length: 60 }, (_, i) => `00e0.fc0e.${String(1000 + i)},1,eth-0-2`)].join('\n') }, go: '#add_many_bn' }],
  ['listing, 50 rows', [LIST], {}, 'listing'],
  ['listing, sorted', [LIST, '&sort=mac&order=desc']], ['listing, last page', [LIST, '&page=99']],
  ['listing, filtered', [LIST, '&addr1=fc0e&vlan=1']], ['listing, a filter refused', [LIST, '&vlan=x']],
  ['listing, a filter mistyped', [LIST], (lang) => ({ fill: { '#vlan': '5000' }, click: '#filter_bn',
    '#vlan@validationMessage': MISTYPED[lang][1] })],
  ['error page', ['web_error.cgi', '&errid=invalid_parameter&rdrpage=web_mac_static.cgi']],
  // The learned table and what is done from it: a pin's answer, a move's form, a move refused.
  ['learned table', [LIST, '&type=dynamic'], {}, 'learned'], ['static and learned', [LIST, '&type=all&vlan=1']],
  ['a pin\'s answer', [LIST, '&type=dynamic'], { click: 'tr.dynamic input[name=sel]', go: '#pin_bn' }],
  ['move form', [LIST], { go: 'a.edit' }],
  ['a move refused', null, { script: "document.getElementById('intf_name').add(new Option('eth-0-99', 'eth-0-99', true, true))",
    go: '#move_bn', '#move_result': /eth-0-/ }],
];

test('every page state, in both languages, passes the accessibility engine (WCAG 2.0/2.1 A and AA)', async () => {
  const found = {};
  for (const lang of ['en', 'cn']) {
    const check = async (page, state) => {
      const r = await new AxeBuilder({ page }).withTags(['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa']).analyze();
      const v = r.violations.map((x) => `${x.id} (${x.impact}): ${x.nodes.length}× ${x.nodes[0].target.join(' ')}`);
      if (v.length) found[`${lang} ${state}`] = v;
    };
    await as(null, (page) => check(page, 'login'));
    await as('admin', async (page) => {
      for (const [state, open, acts, phone] of STATES) {
        await step(page, open ? { open } : {}, ...[typeof acts === 'function' ? acts(lang) : acts ?? {}].flat());
        await check(page, state);
        if (!phone) continue;
        // On a phone the page itself never scrolls sideways, its text (the smallest drawn, of every element that
        // holds some) is readable and its controls (the lowest shown) are large enough to touch.
        await page.setViewportSize({ width: 390, height: 844 });
        await page.reload();
        const [scroll, width, font, control] = await page.evaluate(() => [document.documentElement.scrollWidth,
          document.documentElement.clientWidth, Math.min(...[...document.querySelectorAll('main *')]
            .filter((e) => [...e.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim()))
            .map((e) => parseFloat(getComputedStyle(e).fontSize))), Math.min(...[...document.querySelectorAll(
            'main button, main input, main select')].filter((e) => e.getClientRects().length).map((e) => e.offsetHeight))]);
        assert.ok(scroll <= width && font >= 14 && control >= 40,
          `${lang} ${phone} at 390 px: ${scroll} > ${width}, ${font} px text or ${control} px controls`);
        await page.screenshot({ path: path.join(SHOTS, `phone-${phone}-${lang}.png`) });
        await page.setViewportSize({ width: 1280, height: 720 });
      }
    }, { lang });
    await as('viewer', (page) => check(page, 'listing, read-only'), { lang });
  }
  assert.deepEqual(found, {});
});

test('a learned address is found and pinned, then moved: both in the static view', () => as('admin', async (page) => {
  await step(page, { fill: { '#type': 'dynamic', '#vlan': '20' }, go: '#filter_bn', url: /&type=dynamic&vlan=20&/,
    h1: 'Learned MAC address table', '#pin_bn@disabled': '', '#delete_bn': null });
  const learned = (await READS.rows(page)).slice(0, 3).map((r) => r.split(' '));
  assert.ok(learned.length === 3 && learned.every(([, vlan, type]) => vlan === '20' && type === 'learned'), `${learned}`);
  const [mac, vlan, , intf] = learned[0], to = intf === 'eth-0-9' ? 'eth-0-10' : 'eth-0-9';
  await step(page, { tick: learned.map(([m]) => m), '#pin_bn@disabled': (v) => v === null, shot: 'learned-listing' },
    { go: '#pin_bn', asked: 'Make 3 learned entries static, each on the interface it was learned on?',
      h1: '3 made static, 0 refused', answer: learned.map(([m, v, , i], n) => `added ${n + 1} ${m} ${v} ${i}`) },
    { go: '#table_link', open: [LIST, '&vlan=20&per_page=200'], listed: learned.map(([m, v, , i]) => `${m} ${v} static ${i}`) },
    { go: `tr:has(td.mac:text-is("${mac}")) a.edit`, h1: 'Move a static entry', '#move_mac@value': mac,
      '#move_vlan@value': vlan, '#intf_name@value': intf, fill: { '#intf_name': to } },
    // The listing it lands on points the entry out, on its page or by a link.
    { go: '#move_bn', '#added_note': new RegExp(`${mac}, VLAN ${vlan}, ${to}`) },
    { open: [LIST, '&vlan=20&per_page=200'],
      listed: [`${mac} ${vlan} static ${to}`, ...learned.slice(1).map(([m, v, , i]) => `${m} ${v} static ${i}`)] },
    { open: [LIST, '&type=dynamic&vlan=20'], rows: (rows) => !rows.some((r) => learned.some(([m]) => r.startsWith(m))) });
}));

test('an add goes once however often clicked, and is pointed out; one the switch refuses ends on the error page, whose way '
  + 'back keeps it; page size waits for its button', () => as('admin', async (page) => {
  await step(page, { url: /web_mac_static\.cgi\?sessionId=\d+&lang=en$/, go: '#add_link', '#intf_name option@value': PORTS,
    shot: 'add-form', fill: { '#addr0': '00e0', '#addr1': 'fc0f', '#addr2': '0001', '#vlan': '1' }, twice: '#add_bn', posts: 1,
    wait: /web_mac_static\.cgi\?/ });
  // Marked on this page, or a link to the view that holds it.
  await step(page, await page.$('#added_link')
    ? { '#added_note': 'Your entry 00e0.fc0f.0001, VLAN 1, eth-0-1 is not on this page. Show it', go: '#added_link',
      rows: ['00e0.fc0f.0001 1 static eth-0-1'] }
    : { '#added_note': /^Added 00e0\.fc0f\.0001, VLAN 1, eth-0-1: row \d+/, 'tr.just_added .mac': ['00e0.fc0f.0001'] });
  await step(page, { shot: 'listing-after-add', fill: { '#per_page': '25' }, wait: 250, url: page.url() },
    { add: '0100.5e00.0001,10,eth-0-2', url: /web_error\.cgi\?/, '#error_message': /multicast MAC address not allowed/,
      shot: 'error-invalid-mac' },
    // The way back leads to the add form in the same session, with what was typed.
    { go: '#back_link', url: /web_mac_static_add\.cgi\?sessionId=\d+&lang=en$/, '#add_form': true,
      '#addr0@value': '0100', '#addr1@value': '5e00', '#addr2@value': '0001', '#vlan@value': '10' });
}));

test('the keyboard alone adds, sorts, pages, filters, selects and removes', () => as('admin', async (page) => {
  await step(page, { tab: ['#add_link', 'Enter'] }, { tab: ['#addr0', '00e0', 'Tab', 'fc1a', 'Tab', '0001'] },
    { tab: ['#vlan', '1', 'Enter'], url: /web_mac_static\.cgi/ }, { tab: ['#sort_mac', 'Enter'], url: /sort=mac/ });
  if (await page.$('a#page_next')) await step(page, { tab: ['#page_next', 'Enter'], url: /page=2/ });
  // The entry just added, found by its filter, ticked and removed.
  await step(page, { tab: ['#addr1', 'fc1a'] }, { tab: ['#filter_bn', 'Enter'], rows: ['00e0.fc1a.0001 1 static eth-0-1'] },
    { tab: ['#entries input[name=sel]', 'Space'] }, { tab: ['#delete_bn', 'Enter'], '#removed_note': '1 entry removed.', rows: [] });
}));
