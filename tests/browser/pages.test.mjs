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

function freePort() {
  return new Promise((resolve, reject) => {
    const srv = net.createServer();
    srv.on('error', reject);
    srv.listen(0, '127.0.0.1', () => {
      const { port } = srv.address();
      srv.close(() => resolve(port));
    });
  });
}

// Starts the demo in its own namespaces and waits until it answers. The
// namespace ends with its first process (unshare passes SIGTERM by, so stop
// it with SIGKILL: --kill-child then takes the servers with it).
async function startDemo(env = {}) {
  const port = await freePort();
  const proc = spawn(path.join(SRC, 'scripts/sandbox.sh'),
    // The trees stay reachable under the sandbox's tmpfs (a checkout in /tmp).
    ['--pid', '--keep', SRC, '--keep', BUILD, path.join(SRC, 'scripts/demo-serve'), BUILD, String(port)],
    { env: { ...process.env, ...env }, stdio: ['ignore', 'ignore', 'inherit'] });
  const url = `http://127.0.0.1:${port}/`;
  for (let i = 0; i < 100; i++) {
    try {
      if ((await fetch(url)).ok) return { url, stop: () => proc.kill('SIGKILL') };
    } catch { /* not up yet */ }
    await new Promise((r) => setTimeout(r, 100));
  }
  proc.kill('SIGKILL');
  throw new Error('the demo did not start');
}

let demo;
let browser;

before(async () => {
  mkdirSync(SHOTS, { recursive: true });
  demo = await startDemo();
  browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: CHROMIUM_ARGS });
});

after(async () => {
  await browser?.close();
  demo?.stop();
});

// Every page draws one panel: that is what an operator looks at.
async function shot(page, name) {
  await page.locator('main').screenshot({ path: path.join(SHOTS, `${name}.png`) });
}

async function login(user, password, lang = 'en', base = demo.url) {
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(base);
  await page.waitForSelector('#login_form');
  await page.fill('#username', user);
  await page.fill('#password', password);
  await page.selectOption('#lang', lang);
  await page.click('#login_bn');
  await page.waitForLoadState();
  page.sessionId = new URL(page.url()).searchParams.get('sessionId');
  page.base = base;
  return page;
}

// The demo's IMI keeps a few sessions only: each test logs out of its own.
async function finish(page) {
  if (page.sessionId) {
    await page.goto(`${page.base}web_login.cgi?operate=logout&sessionId=${page.sessionId}&lang=en`)
      .catch(() => {});
  }
  await page.context().close();
}

async function openAddForm(page) {
  await page.click('#add_link');
  await page.waitForSelector('h1');
}

async function addEntry(page, [a0, a1, a2], intf, vlan) {
  await page.fill('#addr0', a0);
  await page.fill('#addr1', a1);
  await page.fill('#addr2', a2);
  await page.selectOption('#intf_name', intf);
  await page.fill('#vlan', vlan);
  await Promise.all([page.waitForNavigation(), page.click('#add_bn')]);
}

async function listedEntries(page) {
  return page.$$eval('#entries tbody tr', (rows) => rows.map((r) =>
    ['.mac', '.vlan', '.type', '.intf'].map((c) => r.querySelector(c).textContent.trim()).join(' ')));
}

// Posts fields as a form of the page would, through the page's fetch (as
// "application/x-www-form-urlencoded;charset=UTF-8"), not following the answer.
function post(page, cgi, query, fields) {
  return page.evaluate(async ([cgi, query, fields]) => {
    const body = new URLSearchParams();
    for (const [k, v] of fields) body.append(k, v);
    return (await fetch(`${cgi}?${query}`, { method: 'POST', body, redirect: 'manual' })).type;
  }, [cgi, query, fields]);
}

// The answer to "Add several entries", a row a line: outcome, line, entry.
async function batchRows(page) {
  return page.$$eval('#results tbody tr', (rows) => rows.map((r) =>
    [r.className, ...['.line', '.mac', '.vlan', '.intf'].map((c) => r.querySelector(c).textContent.trim())].join(' ')));
}

// Loads a file into "Add several entries" as the file choice does, and
// waits until the browser has read it into the box.
async function loadEntries(page, file) {
  await page.setInputFiles('#entries_file', file);
  await page.waitForFunction(() => document.getElementById('entries').value !== '');
}

// Sends a list that the browser's check should stop: returns the lines it
// names, once it is clear that no request went out.
async function stoppedList(page, text) {
  const form = page.url();
  let posts = 0;
  const count = (r) => { posts += r.method() === 'POST'; };
  page.on('request', count);
  await page.fill('#entries', text);
  await page.click('#add_many_bn');
  // A submit the check let through would have started its request by now.
  await page.waitForTimeout(250);
  page.off('request', count);
  assert.equal(posts, 0, 'the list was sent');
  assert.equal(page.url(), form);
  return page.$$eval('#entries_errors li .why', (li) => li.map((x) => x.textContent));
}

// Ticks the rows of these MACs, clicks Delete and answers the confirmation;
// returns what the browser asked.
async function deleteEntries(page, macs, accept) {
  for (const mac of macs) await page.check(`#entries input[value^="${mac} "]`);
  let asked;
  page.once('dialog', (d) => { asked = d.message(); accept ? d.accept() : d.dismiss(); });
  if (accept) await Promise.all([page.waitForNavigation(), page.click('#delete_bn')]);
  else await page.click('#delete_bn');
  return asked;
}

test('full-privilege user logs in, sees the ports and adds an entry', async () => {
  const page = await login('admin', 'admin');
  assert.match(page.url(), /web_mac_static\.cgi\?sessionId=\d+&lang=en$/);
  await openAddForm(page);
  const ports = await page.$$eval('#intf_name option', (o) => o.map((x) => x.value));
  assert.equal(ports.length, 32);
  assert.deepEqual([ports[0], ports[23], ports[24], ports[31]], ['eth-0-1', 'eth-0-24', 'agg1', 'agg8']);
  await shot(page, 'add-form');

  await addEntry(page, ['00e0', 'fc0a', 'b1c2'], 'eth-0-1', '10');
  assert.match(page.url(), /web_mac_static\.cgi\?/);
  assert.ok((await listedEntries(page)).includes('00e0.fc0a.b1c2 10 static eth-0-1'));
  await shot(page, 'listing-after-add');
  await finish(page);
});

test('a MAC address the switch refuses ends on the error page with its reason', async () => {
  const page = await login('admin', 'admin');
  await openAddForm(page);
  await addEntry(page, ['0100', '5e00', '0001'], 'eth-0-2', '10');
  assert.match(page.url(), /web_error\.cgi\?/);
  assert.match(await page.textContent('#error_message'), /multicast MAC address not allowed/);
  await shot(page, 'error-invalid-mac');
  // The way back leads to the add form in the same session, with what was typed.
  await Promise.all([page.waitForNavigation(), page.click('#back_link')]);
  assert.match(page.url(), /web_mac_static_add\.cgi\?sessionId=\d+&lang=en$/);
  await page.waitForSelector('#add_form');
  assert.deepEqual(await Promise.all(['#addr0', '#addr1', '#addr2', '#vlan'].map((f) => page.inputValue(f))),
    ['0100', '5e00', '0001', '10']);
  await finish(page);
});

test('a mistyped MAC group or VLAN is caught in the browser, in its language', async () => {
  for (const [lang, macText, vlanText] of [['en', 'Four hex digits (0-9, a-f)', 'A VLAN from 1 to 4094'],
    ['cn', '请输入四位十六进制数（0-9、a-f）', '请输入 1 到 4094 之间的 VLAN']]) {
    const page = await login('admin', 'admin', lang);
    await openAddForm(page);
    const form = page.url();
    for (const [field, bad, good, text] of [['#addr2', 'b1cz', 'b1c2', macText],
      ['#addr0', '0e0', '00e0', macText], ['#vlan', '4095', '4094', vlanText], ['#vlan', '0', '1', vlanText]]) {
      for (const f of ['#addr0', '#addr1', '#addr2']) await page.fill(f, '00e0');
      await page.fill('#vlan', '10');
      await page.fill(field, bad);
      await page.click('#add_bn');
      assert.equal(page.url(), form, `${field}=${bad} was sent`);
      assert.equal(await page.$eval(field, (e) => e.validationMessage), text);
      assert.equal(await page.textContent('.field-error:not(:empty)'), text);
      if (lang === 'en' && field === '#addr2') await shot(page, 'add-form-mistyped');
      await page.fill(field, good);
      assert.ok(await page.$eval(field, (e) => e.checkValidity()), `${field}=${good}`);
      assert.equal(await page.$('.field-error:not(:empty)'), null);
    }
    // The listing's filter takes the same values.
    await page.goto(page.url().replace('web_mac_static_add.cgi', 'web_mac_static.cgi'));
    await page.fill('#vlan', '5000');
    await page.click('#filter_bn');
    assert.equal(await page.$eval('#vlan', (e) => e.validationMessage), vlanText);
    await finish(page);
  }
});

test('a pasted list is checked in the browser, then added whole', async () => {
  const page = await login('admin', 'admin');
  await openAddForm(page);
  const good = '0000.0f0f.0001,10,eth-0-1\n00:00:0F:0F:00:02\t10 \teth-0-2\n00-00-0f-0f-00-03 20 agg1';
  assert.deepEqual(await stoppedList(page, good.replace('00:02', '00:0g')),
    ['Line 2: not a MAC address (xxxx.xxxx.xxxx, xx:xx:xx:xx:xx:xx or xx-xx-xx-xx-xx-xx)']);
  // Each note quotes its line, as typed.
  assert.deepEqual(await page.$$eval('#entries_errors li .text', (q) => q.map((x) => x.textContent)),
    [good.split('\n')[1].replace('00:02', '00:0g').trim()]);
  await shot(page, 'add-many-mistyped');
  // The notes follow the mending.
  await page.fill('#entries', good);
  assert.equal(await page.$('#entries_errors li'), null);

  await Promise.all([page.waitForNavigation(), page.click('#add_many_bn')]);
  assert.equal(await page.textContent('#summary'), 'Added: 3 · refused: 0 · not known: 0 · not valid: 0');
  assert.deepEqual(await batchRows(page), ['added 1 0000.0f0f.0001 10 eth-0-1',
    'added 2 0000.0f0f.0002 10 eth-0-2', 'added 3 0000.0f0f.0003 20 agg1']);
  await shot(page, 'add-many-result');
  await Promise.all([page.waitForNavigation(), page.click('#table_link')]);
  const rows = await listedEntries(page);
  for (const r of ['0000.0f0f.0001 10 static eth-0-1', '0000.0f0f.0002 10 static eth-0-2',
    '0000.0f0f.0003 20 static agg1']) assert.ok(rows.includes(r), `${r}\nnot in\n${rows.join('\n')}`);
  await finish(page);
});

test('a loaded file is added, the line the switch refuses shown with its reason', async () => {
  const page = await login('admin', 'admin');
  await openAddForm(page);
  const text = 'mac,vlan,interface\r\n0000.0f0f.0011,30,eth-0-24\r\n0000.0f0f.0012,40,eth-0-24\r\n00-00-0f-0f-00-13,20,agg8\r\n';
  await loadEntries(page, { name: 'entries.csv', mimeType: 'text/csv', buffer: Buffer.from(text) });
  assert.equal(await page.inputValue('#entries'), text.replaceAll('\r\n', '\n'));
  await Promise.all([page.waitForNavigation(), page.click('#add_many_bn')]);
  assert.equal(await page.textContent('#summary'), 'Added: 2 · refused: 1 · not known: 0 · not valid: 0');
  assert.deepEqual(await batchRows(page), ['added 2 0000.0f0f.0011 30 eth-0-24',
    'refused 3 0000.0f0f.0012 40 eth-0-24', 'added 4 0000.0f0f.0013 20 agg8']);
  assert.equal(await page.textContent('#results tr.refused .reason'),
    'Cannot add 0000.0f0f.0012 to VLAN 40: VLAN 40 does not exist');
  // The title says what became of the list; the lines not added can be
  // shown alone, and go back to the box, only they, to be mended.
  assert.equal(await page.textContent('h1'), '2 added, 1 refused');
  await page.check('#only_not_added');
  assert.deepEqual(await page.$$eval('#results tbody tr:not([hidden])', (r) => r.map((x) => x.className)), ['refused']);
  await Promise.all([page.waitForNavigation(), page.click('#mend_link')]);
  assert.equal(await page.inputValue('#entries'), '0000.0f0f.0012,40,eth-0-24');
  await page.goto(`${page.base}web_mac_static.cgi?sessionId=${page.sessionId}&lang=en`);
  const rows = (await listedEntries(page)).filter((r) => r.startsWith('0000.0f0f.001'));
  assert.deepEqual(rows.sort(), ['0000.0f0f.0011 30 static eth-0-24', '0000.0f0f.0013 20 static agg8']);
  await finish(page);
});

test('entries are removed from the listing after a confirmation', async () => {
  const page = await login('admin', 'admin');
  const macs = [['0000', '0c0c', '0001'], ['0000', '0c0c', '0002'], ['0000', '0c0c', '0003']];
  for (const [i, mac] of macs.entries()) {
    await openAddForm(page);
    await addEntry(page, mac, `eth-0-${10 + i}`, '1');
  }
  await page.fill('#vlan', '1');
  await Promise.all([page.waitForNavigation(), page.click('#filter_bn')]);
  assert.equal((await listedEntries(page)).length, 3);
  assert.ok(await page.isDisabled('#delete_bn'));
  await shot(page, 'listing');

  // Cancelled: nothing goes.
  assert.equal(await deleteEntries(page, ['0000.0c0c.0001'], false), 'Delete 1 static entry?');
  await page.reload();
  assert.equal((await listedEntries(page)).length, 3);

  assert.equal(await deleteEntries(page, ['0000.0c0c.0001'], true), 'Delete 1 static entry?');
  assert.match(page.url(), /web_mac_static\.cgi\?sessionId=\d+&lang=en&intf_name=all&vlan=1&order=asc&per_page=50&page=1&removed=1$/);
  assert.equal(await page.textContent('#removed_note'), '1 entry removed.');
  assert.deepEqual(await listedEntries(page),
    ['0000.0c0c.0002 1 static eth-0-11', '0000.0c0c.0003 1 static eth-0-12']);

  assert.equal(await deleteEntries(page, ['0000.0c0c.0002', '0000.0c0c.0003'], true),
    'Delete 2 static entries?');
  assert.equal(await page.textContent('#removed_note'), '2 entries removed.');
  assert.deepEqual(await listedEntries(page), []);
  assert.ok(await page.isVisible('#no_entries'));
  assert.equal(await page.textContent('#count'), '0 of 0');
  await finish(page);

  // The switch's syslog holds who did both, in the demo's file.
  const wanted = ['add', 'remove'].map((action) => `web_mac_static${action === 'add' ? '_add' : ''}.cgi[`
    + `] user="admin" addr="127.0.0.1" action=${action} mac="0000.0c0c.0001" intf="eth-0-10" vlan="1" result=ok known=cli`);
  let records = [];
  for (let i = 0; i < 50; i++) {
    records = readFileSync(path.join(BUILD, 'demo', 'messages'), 'utf8').split('\n')
      .map((line) => line.replace(/\[\d+\]:/, '[]'));
    if (wanted.every((w) => records.some((r) => r.endsWith(w)))) break;
    await new Promise((r) => setTimeout(r, 100));
  }
  for (const w of wanted) assert.ok(records.some((r) => r.endsWith(w)), `${w}\nnot in\n${records.join('\n')}`);
});

test('select all at the largest page removes the whole page in one run; more is refused', async () => {
  const page = await login('admin', 'admin');
  const query = `sessionId=${page.sessionId}&lang=en`;
  const macs = Array.from({ length: 201 }, (_, i) => `0000.0d0d.${String(1000 + i)}`);
  await post(page, 'web_mac_static_add.cgi', query,
    [['operate', 'add_many'], ['entries', macs.map((m) => `${m},10,eth-0-5`).join('\n')]]);
  await page.goto(`${page.base}web_mac_static.cgi?${query}&vlan=10&intf_name=eth-0-5&sort=mac&per_page=200`);
  assert.equal((await listedEntries(page)).length, 200);
  // A selection the page never offers, sent anyway: refused whole.
  await post(page, 'web_mac_static.cgi', `${query}&vlan=10&intf_name=eth-0-5`,
    [['operate', 'delete'], ...macs.map((m) => ['sel', `${m} eth-0-5 10`])]);
  await page.reload();
  assert.equal((await listedEntries(page)).length, 200);
  await page.check('#select_all');
  let asked;
  page.once('dialog', (d) => { asked = d.message(); d.accept(); });
  await Promise.all([page.waitForNavigation(), page.click('#delete_bn')]);
  assert.equal(asked, 'Delete 200 static entries?');
  assert.equal(await page.textContent('#removed_note'), '200 entries removed.');
  assert.deepEqual(await listedEntries(page), [`${macs[200]} 10 static eth-0-5`]);
  await post(page, 'web_mac_static.cgi', `${query}&vlan=10&intf_name=eth-0-5`,
    [['operate', 'delete'], ['sel', `${macs[200]} eth-0-5 10`]]);
  await finish(page);
});

test('the error page shows foreign text as text and links only into this interface', async () => {
  const page = await (await browser.newContext()).newPage();
  for (const rdr of ['https://evil.example/a.cgi', 'javascript:alert(1)//x.cgi', '../x.cgi']) {
    await page.goto(`${demo.url}web_error.cgi?sessionId=4&lang=en&rdrpage=${encodeURIComponent(rdr)}`
      + `&errid=${encodeURIComponent('<img src=x onerror=alert(1)>')}`);
    assert.equal(await page.textContent('#error_message'), '<img src=x onerror=alert(1)>');
    assert.equal(await page.$('#error_message img'), null);
    assert.equal(await page.getAttribute('#back_link', 'href'), 'web_login.cgi?sessionId=4&lang=en');
  }
  await finish(page);
});

test('the listing filters by VLAN and by interface', async () => {
  const page = await login('admin', 'admin');
  for (const [mac, intf, vlan] of [[['0000', '0a0a', '0001'], 'eth-0-3', '20'],
    [['0000', '0a0a', '0002'], 'eth-0-4', '20'], [['0000', '0a0a', '0003'], 'eth-0-3', '30']]) {
    await openAddForm(page);
    await addEntry(page, mac, intf, vlan);
  }
  await page.fill('#vlan', '20');
  await Promise.all([page.waitForNavigation(), page.click('#filter_bn')]);
  let rows = await listedEntries(page);
  assert.ok(rows.length >= 2 && rows.every((r) => r.split(' ')[1] === '20'), rows.join('\n'));

  await page.fill('#vlan', '');
  await page.selectOption('#intf_name', 'eth-0-3');
  await Promise.all([page.waitForNavigation(), page.click('#filter_bn')]);
  rows = await listedEntries(page);
  assert.deepEqual(rows.filter((r) => r.startsWith('0000.0a0a')),
    ['0000.0a0a.0001 20 static eth-0-3', '0000.0a0a.0003 30 static eth-0-3']);
  assert.ok(rows.every((r) => r.endsWith(' eth-0-3')));
  await shot(page, 'listing-filtered');

  // The vendor half of an address, in capitals, finds its entries.
  await page.selectOption('#intf_name', 'all');
  await page.fill('#addr1', '0A0A');
  await Promise.all([page.waitForNavigation(), page.click('#filter_bn')]);
  rows = await listedEntries(page);
  assert.deepEqual(rows, ['0000.0a0a.0001 20 static eth-0-3', '0000.0a0a.0002 20 static eth-0-4',
    '0000.0a0a.0003 30 static eth-0-3']);

  // A filter value is shown back as text, never as markup.
  const url = new URL(page.url());
  url.search = `sessionId=${url.searchParams.get('sessionId')}&lang=en&addr0=${encodeURIComponent('"><b id=inj>')}`;
  await page.goto(url.href);
  assert.equal(await page.$('#inj'), null);
  assert.equal(await page.inputValue('#addr0'), '"><b id=inj>');
  // Not a MAC group: marked, and nothing listed as if it were the table.
  assert.equal(await page.getAttribute('#addr0', 'aria-invalid'), 'true');
  assert.ok(await page.isVisible('#filter_invalid'));
  assert.equal(await page.$('#count'), null);
  await finish(page);
});

test('the pages speak Chinese for cn', async () => {
  const page = await login('admin', 'admin', 'cn');
  assert.match(page.url(), /lang=cn$/);
  assert.equal(await page.textContent('h1'), '静态MAC地址表');
  assert.equal(await page.getAttribute('#select_all', 'title'), '选择本页全部表项');
  await openAddForm(page);
  assert.equal(await page.textContent('h1'), '添加静态MAC地址表项');
  assert.equal(await page.textContent('#add_bn'), '添加');
  await shot(page, 'add-form-cn');
  // The browser's notes, a repeat that is no conflict, and the answer.
  const text = 'mac,vlan,interface\n\n0000.0f0f.0021,10,eth-0-3\n0000.0f0f.0022,4095,eth-0-4\n0000.0f0f.0021 10 eth-0-5';
  assert.deepEqual(await stoppedList(page, text), ['第 3 行：与第 5 行的MAC地址和VLAN相同，但接口不同',
    '第 4 行：不是 1 到 4094 之间的 VLAN', '第 5 行：与第 3 行的MAC地址和VLAN相同，但接口不同']);
  await page.fill('#entries', text.replace('4095', '20').replace('eth-0-5', 'eth-0-3'));
  await Promise.all([page.waitForNavigation(), page.click('#add_many_bn')]);
  assert.equal(await page.textContent('#summary'), '已添加 3 个 · 被拒绝 0 个 · 结果未知 0 个 · 无效 0 个');
  assert.deepEqual(await page.$$eval('#results tbody tr', (rows) => rows.map((r) =>
    `${r.querySelector('.line').textContent} ${r.querySelector('.outcome').textContent}`)),
    ['3 已添加', '4 已添加', '5 已添加 (与第 3 行是同一表项)']);
  await Promise.all([page.waitForNavigation(), page.click('#form_link')]);
  await page.click('a[href*="lang=en"]');
  await page.waitForSelector('#add_form');
  assert.equal(await page.textContent('h1'), 'Add static MAC address entry');
  await finish(page);
});

test('a refused login shows the reason IMI gives', async () => {
  const page = await login('admin', 'wrong');
  assert.match(page.url(), /web_login\.cgi$/);
  assert.match(await page.textContent('#login_error'), /\S/);
  await shot(page, 'login-refused');
  await finish(page);
});

test('a limited user cannot add, not even with a forged POST', async () => {
  const page = await login('viewer', 'viewer');
  const sid = new URL(page.url()).searchParams.get('sessionId');
  assert.equal(Number(sid) % 2, 1);
  // No link leads to the add page; typed in, it offers no add.
  await page.goto(`${demo.url}web_mac_static_add.cgi?sessionId=${sid}&lang=en`);
  assert.equal(await page.$('#add_bn'), null);
  assert.ok(await page.isVisible('#no_privilege'));
  await shot(page, 'add-form-limited');

  // A form the page never offered, posted from that session.
  await page.setContent(`<form method="post" action="${demo.url}web_mac_static_add.cgi?sessionId=${sid}&lang=en">
    <input name="addr0" value="00e0"><input name="addr1" value="fc0a"><input name="addr2" value="0bad">
    <input name="intf_name" value="eth-0-5"><input name="vlan" value="10"><button id="go" name="add_bn" value="add">x</button></form>`);
  await Promise.all([page.waitForNavigation(), page.click('#go')]);
  assert.match(page.url(), /web_error\.cgi\?.*errid=error_no_privilege/);
  assert.match(await page.textContent('#error_message'), /not allowed/);
  await shot(page, 'forged-post-refused');
  await page.goto(`${demo.url}web_mac_static.cgi?sessionId=${sid}&lang=en`);
  assert.ok(!(await listedEntries(page)).some((r) => r.startsWith('00e0.fc0a.0bad')));
  await finish(page);
});

test('a limited user sees no checkboxes and cannot remove, not even with a forged POST', async () => {
  const admin = await login('admin', 'admin');
  await openAddForm(admin);
  await addEntry(admin, ['0000', '0d0d', '0001'], 'eth-0-20', '10');
  await finish(admin);

  const page = await login('viewer', 'viewer');
  const sid = new URL(page.url()).searchParams.get('sessionId');
  assert.ok((await listedEntries(page)).includes('0000.0d0d.0001 10 static eth-0-20'));
  assert.equal(await page.$('#entries input[type=checkbox]'), null);
  assert.equal(await page.$('#delete_bn'), null);
  await shot(page, 'listing-limited');

  await page.setContent(`<form method="post" action="${demo.url}web_mac_static.cgi?sessionId=${sid}&lang=en">
    <input name="operate" value="delete"><input name="sel" value="0000.0d0d.0001 eth-0-20 10">
    <button id="go">x</button></form>`);
  await Promise.all([page.waitForNavigation(), page.click('#go')]);
  assert.match(page.url(), /web_error\.cgi\?.*errid=error_no_privilege/);
  await page.goto(`${demo.url}web_mac_static.cgi?sessionId=${sid}&lang=en`);
  assert.ok((await listedEntries(page)).includes('0000.0d0d.0001 10 static eth-0-20'));
  await finish(page);
});

test('two browsers adding at once both land their entries', async () => {
  const [a, b] = await Promise.all([login('admin', 'admin'), login('admin', 'admin')]);
  await Promise.all([openAddForm(a), openAddForm(b)]);
  await Promise.all([
    addEntry(a, ['0000', '0b0b', '0001'], 'eth-0-7', '10'),
    addEntry(b, ['0000', '0b0b', '0002'], 'eth-0-8', '10'),
  ]);
  await a.reload();
  const rows = await listedEntries(a);
  assert.ok(rows.includes('0000.0b0b.0001 10 static eth-0-7'), rows.join('\n'));
  assert.ok(rows.includes('0000.0b0b.0002 10 static eth-0-8'), rows.join('\n'));
  await shot(a, 'concurrent-adds');
  await Promise.all([finish(a), finish(b)]);
});

test('an expired session ends on the login page', async () => {
  const short = await startDemo({ DEMO_IDLE: '2' });
  try {
    const page = await login('admin', 'admin', 'en', short.url);
    assert.match(page.url(), /web_mac_static\.cgi/);
    await new Promise((r) => setTimeout(r, 3500));
    await page.click('#add_link');
    await page.waitForURL(/web_login\.cgi/);
    await page.waitForSelector('#login_form');
    await shot(page, 'expired-session');
    await finish(page);
  } finally {
    short.stop();
  }
});

test('logging out ends the session', async () => {
  const page = await login('admin', 'admin');
  const listing = page.url();
  await Promise.all([page.waitForNavigation(), page.click('#logout_link')]);
  await page.waitForSelector('#notice');
  await page.goto(listing);
  await page.waitForURL(/web_login\.cgi/);
  await finish(page);
});

// The listing's view (sort, order, page size, page) on a switch of its own,
// so that every count is exact.
describe('a listing of 120 entries, sorted and paged', () => {
  const PORTS = [...Array.from({ length: 24 }, (_, i) => `eth-0-${i + 1}`),
    ...Array.from({ length: 8 }, (_, i) => `agg${i + 1}`)];
  // Each MAC in two VLANs, the ports in no column's order: every sort has
  // ties to break, and "eth-0-10" sorts after "eth-0-9".
  let entries = Array.from({ length: 120 }, (_, i) => ({
    mac: `0000.0e0e.${(((i * 37) % 120) >> 1).toString(16).padStart(4, '0')}`,
    vlan: [1, 10, 20, 30][i % 4],
    intf: PORTS[(i * 7) % 32],
  }));
  const row = (e) => `${e.mac} ${e.vlan} static ${e.intf}`;
  const macNumber = (e) => parseInt(e.mac.replaceAll('.', ''), 16);
  const portKey = (p) => {
    const eth = /^eth-(\d+)-(\d+)$/.exec(p);
    return eth ? [0, Number(eth[1]), Number(eth[2])] : [1, Number(p.slice(3)), 0];
  };
  // What each column sorts by, its ties by VLAN, then MAC.
  const KEYS = {
    mac: (e) => [macNumber(e), e.vlan],
    vlan: (e) => [e.vlan, macNumber(e)],
    intf: (e) => [...portKey(e.intf), e.vlan, macNumber(e)],
  };
  function sortedRows(col, order, filter = () => true) {
    const cmp = (a, b) => {
      const [ka, kb] = [KEYS[col](a), KEYS[col](b)];
      const i = ka.findIndex((k, j) => k !== kb[j]);
      return i < 0 ? 0 : ka[i] - kb[i];
    };
    const rows = entries.filter(filter).sort(cmp).map(row);
    return order === 'desc' ? rows.reverse() : rows;
  }

  let sw;
  const open = async (lang = 'en') => login('admin', 'admin', lang, sw.url);
  const go = (page, selector) => Promise.all([page.waitForNavigation(), page.click(selector)]);
  const nums = (page) => page.$$eval('#entries td.num', (cells) => cells.map((c) => Number(c.textContent)));
  const range = (first, last) => Array.from({ length: last - first + 1 }, (_, i) => first + i);
  const ariaSorts = (page) => page.$$eval('#entries th[aria-sort]',
    (heads) => heads.map((h) => `${h.querySelector('a').id}=${h.getAttribute('aria-sort')}`));

  before(async () => {
    sw = await startDemo();
    const page = await open();
    const query = `sessionId=${page.sessionId}&lang=en`;
    for (const e of entries) {
      const [a0, a1, a2] = e.mac.split('.');
      await post(page, 'web_mac_static_add.cgi', query,
        [['addr0', a0], ['addr1', a1], ['addr2', a2], ['intf_name', e.intf], ['vlan', String(e.vlan)]]);
    }
    await finish(page);
  });

  after(() => sw?.stop());

  test('the pager walks through them, rows numbered through the whole view', async () => {
    const page = await open();
    const seen = [];
    for (const [link, count, first, last, pageOf, usable] of [
      [null, '1–50 of 120', 1, 50, 'Page 1 of 3', ['page_next', 'page_last']],
      ['#page_next', '51–100 of 120', 51, 100, 'Page 2 of 3', ['page_first', 'page_prev', 'page_next', 'page_last']],
      ['#page_next', '101–120 of 120', 101, 120, 'Page 3 of 3', ['page_first', 'page_prev']],
      ['#page_first', '1–50 of 120', 1, 50, 'Page 1 of 3', ['page_next', 'page_last']],
      ['#page_last', '101–120 of 120', 101, 120, 'Page 3 of 3', ['page_first', 'page_prev']],
      ['#page_prev', '51–100 of 120', 51, 100, 'Page 2 of 3', ['page_first', 'page_prev', 'page_next', 'page_last']],
    ]) {
      if (link) await go(page, link);
      assert.equal(await page.textContent('#count'), count);
      assert.deepEqual(await nums(page), range(first, last), count);
      assert.equal(await page.textContent('#page_of'), pageOf);
      assert.deepEqual(await page.$$eval('#pager a', (a) => a.map((x) => x.id)), usable, count);
      assert.equal(await page.$$eval('#pager span[aria-disabled="true"].disabled', (s) => s.length), 4 - usable.length);
      if (seen.length < 120) seen.push(...await listedEntries(page));
    }
    // The three pages hold every entry once.
    assert.deepEqual(seen.sort(), entries.map(row).sort());
    await finish(page);
  });

  test('a column head sorts by its column, and reverses on a second click', async () => {
    const page = await open();
    for (const col of ['mac', 'vlan', 'intf']) {
      // Each column starts ascending at page 1, although the last view was on page 2.
      for (const order of ['asc', 'desc']) {
        await go(page, `#sort_${col}`);
        const aria = order === 'asc' ? 'ascending' : 'descending';
        assert.deepEqual(await ariaSorts(page),
          ['mac', 'vlan', 'intf'].map((c) => `sort_${c}=${c === col ? aria : 'none'}`));
        assert.equal(await page.textContent('#count'), '1–50 of 120', `${col} ${order}`);
        assert.deepEqual(await listedEntries(page), sortedRows(col, order).slice(0, 50), `${col} ${order}`);
      }
      await go(page, '#page_next');
      assert.deepEqual(await listedEntries(page), sortedRows(col, 'desc').slice(50, 100), `${col} desc, page 2`);
    }

    // The page size keeps the sort and starts at page 1.
    await page.selectOption('#per_page', '25');
    await Promise.all([page.waitForNavigation(), page.click('#per_page_bn')]);
    assert.equal(await page.textContent('#count'), '1–25 of 120');
    assert.equal(await page.textContent('#page_of'), 'Page 1 of 5');
    assert.equal(await page.inputValue('#per_page'), '25');
    assert.deepEqual(await listedEntries(page), sortedRows('intf', 'desc').slice(0, 25));
    await page.selectOption('#per_page', '200');
    await Promise.all([page.waitForNavigation(), page.click('#per_page_bn')]);
    assert.equal(await page.textContent('#count'), '1–120 of 120');
    assert.deepEqual(await listedEntries(page), sortedRows('intf', 'desc'));
    assert.equal(await page.$('#pager'), null);
    await finish(page);
  });

  test('a filter starts again at page 1 in the same view; a removal of a whole last page lands on the new last', async () => {
    const page = await open();
    await page.selectOption('#per_page', '25');
    await Promise.all([page.waitForNavigation(), page.click('#per_page_bn')]);
    await go(page, '#sort_mac');
    await go(page, '#page_next');
    await page.fill('#vlan', '10');
    await go(page, '#filter_bn');
    const inVlan10 = (e) => e.vlan === 10;
    assert.equal(await page.textContent('#count'), '1–25 of 30');
    assert.deepEqual(await listedEntries(page), sortedRows('mac', 'asc', inVlan10).slice(0, 25));
    await go(page, '#page_next');
    assert.equal(await page.textContent('#count'), '26–30 of 30');
    assert.deepEqual(await nums(page), range(26, 30));
    assert.deepEqual(await listedEntries(page), sortedRows('mac', 'asc', inVlan10).slice(25));
    await shot(page, 'listing-paged');

    // "Select all" takes this page's rows only.
    await page.check('#select_all');
    let asked;
    page.once('dialog', (d) => { asked = d.message(); d.accept(); });
    await go(page, '#delete_bn');
    assert.equal(asked, 'Delete 5 static entries?');
    const gone = sortedRows('mac', 'asc', inVlan10).slice(25);
    entries = entries.filter((e) => !gone.includes(row(e)));
    assert.match(page.url(), /&vlan=10&sort=mac&order=asc&per_page=25&page=2&removed=5$/);
    assert.equal(await page.textContent('#count'), '1–25 of 25');
    assert.deepEqual(await listedEntries(page), sortedRows('mac', 'asc', inVlan10));
    assert.equal(await page.$('#pager'), null);
    await finish(page);
  });

  test('a removal on page 2 returns to page 2 of the same view', async () => {
    const page = await open();
    await go(page, '#sort_vlan');
    await go(page, '#sort_vlan');
    await go(page, '#page_next');
    const victim = entries.find((e) => row(e) === sortedRows('vlan', 'desc')[60]);
    await page.check(`#entries input[value="${victim.mac} ${victim.intf} ${victim.vlan}"]`);
    assert.equal(await deleteEntries(page, [], true), 'Delete 1 static entry?');
    entries = entries.filter((e) => e !== victim);
    assert.match(page.url(), /&sort=vlan&order=desc&per_page=50&page=2&removed=1$/);
    assert.equal(await page.textContent('#count'), '51–100 of 114');
    assert.equal(await page.textContent('#page_of'), 'Page 2 of 3');
    assert.deepEqual(await listedEntries(page), sortedRows('vlan', 'desc').slice(50, 100));
    await finish(page);
  });

  test('the count and the pager speak Chinese for cn', async () => {
    const page = await open('cn');
    assert.equal(await page.textContent('#count'), '第 1–50 条，共 114 条');
    await go(page, '#page_next');
    assert.equal(await page.textContent('#count'), '第 51–100 条，共 114 条');
    assert.equal(await page.textContent('#page_of'), '第 2 页，共 3 页');
    assert.equal(await page.textContent('#page_next'), '下一页');
    await page.fill('#vlan', '4000');
    await go(page, '#filter_bn');
    assert.equal(await page.textContent('#count'), '共 0 条');
    await finish(page);
  });

  test('the export of a view holds all its pages, and loaded back it makes the same table', async () => {
    const page = await open();
    const listing = `${sw.url}web_mac_static.cgi?sessionId=${page.sessionId}&lang=en`;
    await page.goto(`${listing}&per_page=200`);
    const table = await listedEntries(page);
    assert.equal(table.length, entries.length);

    // Page 2 of a sorted view: the file holds the whole view, in its order.
    await page.goto(listing);
    await go(page, '#sort_intf');
    await go(page, '#sort_intf');
    await go(page, '#page_next');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#export_link')]);
    assert.equal(download.suggestedFilename(), 'static-mac-table.csv');
    const file = path.join(SHOTS, 'static-mac-table.csv');
    await download.saveAs(file);
    assert.equal(readFileSync(file, 'utf8'), ['mac,vlan,interface', ...sortedRows('intf', 'desc').map((r) => {
      const [mac, vlan, , intf] = r.split(' ');
      return `${mac},${vlan},${intf}`;
    }), ''].join('\r\n'));

    // Emptied through the page, 50 rows at a time.
    await page.goto(listing);
    for (let i = 0; i < Math.ceil(entries.length / 50); i++) {
      await page.check('#select_all');
      await deleteEntries(page, [], true);
    }
    assert.equal(await page.textContent('#count'), '0 of 0');

    await openAddForm(page);
    await loadEntries(page, file);
    await go(page, '#add_many_bn');
    assert.equal(await page.textContent('#summary'), `Added: ${entries.length} · refused: 0 · not known: 0 · not valid: 0`);
    assert.deepEqual(await page.$$eval('#results tr.added td.line', (td) => td.map((x) => Number(x.textContent))),
      range(2, entries.length + 1));
    await page.goto(`${listing}&per_page=200`);
    assert.deepEqual(await listedEntries(page), table);
    await finish(page);
  });
});

// Every state of every page, in both languages, as the accessibility
// engine sees it: no violation of WCAG 2.0/2.1 A and AA.
async function axeViolations(page) {
  const r = await new AxeBuilder({ page }).withTags(['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa']).analyze();
  return r.violations.map((v) => `${v.id} (${v.impact}): ${v.nodes.length}× ${v.nodes[0].target.join(' ')}`);
}

test('every page state passes the accessibility engine', async () => {
  for (const lang of ['en', 'cn']) {
    const found = {};
    const check = async (page, state) => {
      const v = await axeViolations(page);
      if (v.length) found[`${lang} ${state}`] = v;
    };
    const ctx = await browser.newContext();
    const anon = await ctx.newPage();
    await anon.goto(demo.url);
    await anon.waitForSelector('#login_form');
    await check(anon, 'login');
    await ctx.close();

    const page = await login('admin', 'admin', lang);
    const query = `sessionId=${page.sessionId}&lang=${lang}`;
    await check(page, 'listing, empty or not');
    await page.goto(`${page.base}web_mac_static_add.cgi?${query}`);
    await check(page, 'add form');
    await page.fill('#vlan', '5000');
    await page.click('#add_bn');
    await check(page, 'add form, a field error');
    await page.goto(`${page.base}web_mac_static_add.cgi?${query}`);
    await page.fill('#entries', '00e0.fc0a.0001,1,eth-0-1\nnot a line\n');
    await page.click('#add_many_bn');
    await check(page, 'add form, a list error');
    await page.fill('#entries', '00e0.fc0d.0001,1,eth-0-1\n00e0.fc0d.0002,40,eth-0-1\n');
    await Promise.all([page.waitForNavigation(), page.click('#add_many_bn')]);
    await check(page, 'list result, mixed outcomes');
    const lines = Array.from({ length: 60 }, (_, i) => `00e0.fc0e.${String(1000 + i)},1,eth-0-2`).join('\n');
    await page.goto(`${page.base}web_mac_static_add.cgi?${query}`);
    await page.fill('#entries', lines);
    await Promise.all([page.waitForNavigation(), page.click('#add_many_bn')]);
    for (const [state, view] of [['listing, 50 rows', ''], ['listing, sorted', '&sort=mac&order=desc'],
      ['listing, last page', '&page=99'], ['listing, filtered', '&addr1=fc0e&vlan=1'],
      ['listing, a filter refused', '&vlan=x']]) {
      await page.goto(`${page.base}web_mac_static.cgi?${query}${view}`);
      await check(page, state);
    }
    await page.goto(`${page.base}web_error.cgi?${query}&errid=invalid_parameter&rdrpage=web_mac_static.cgi`);
    await check(page, 'error page');
    // A phone: the page itself never scrolls sideways, its text is readable.
    await page.setViewportSize({ width: 390, height: 844 });
    for (const [name, cgi] of [['listing', 'web_mac_static.cgi'], ['add-form', 'web_mac_static_add.cgi']]) {
      await page.goto(`${page.base}${cgi}?${query}`);
      // The smallest text drawn, of every element that holds some.
      const [scroll, width, font] = await page.evaluate(() => [document.documentElement.scrollWidth,
        document.documentElement.clientWidth, Math.min(...[...document.querySelectorAll('main *')]
          .filter((e) => [...e.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim()))
          .map((e) => parseFloat(getComputedStyle(e).fontSize)))]);
      assert.ok(scroll <= width && font >= 14, `${lang} ${name} at 390 px: ${scroll} > ${width} or ${font} px`);
      await page.screenshot({ path: path.join(SHOTS, `phone-${name}-${lang}.png`) });
    }
    await finish(page);
    const viewer = await login('viewer', 'viewer', lang);
    await check(viewer, 'listing, read-only');
    await finish(viewer);
    assert.deepEqual(found, {});
  }
});

test('a form sent once however often it is clicked; the page size waits for its button; no add link when read-only', async () => {
  const page = await login('admin', 'admin');
  await openAddForm(page);
  let posts = 0;
  page.on('request', (r) => { posts += r.method() === 'POST'; });
  await page.fill('#addr0', '00e0');
  await page.fill('#addr1', 'fc0f');
  await page.fill('#addr2', '0001');
  await page.fill('#vlan', '1');
  await Promise.all([page.waitForNavigation(), page.dblclick('#add_bn')]);
  await page.waitForLoadState();
  assert.equal(posts, 1);
  // The listing points out the entry just added: marked on this page, or
  // a link to the view that holds it.
  const note = await page.textContent('#added_note');
  if (await page.$('#added_link')) {
    assert.equal(note, 'Your entry 00e0.fc0f.0001, VLAN 1, eth-0-1 is not on this page. Show it');
    await Promise.all([page.waitForNavigation(), page.click('#added_link')]);
    assert.deepEqual(await listedEntries(page), ['00e0.fc0f.0001 1 static eth-0-1']);
  } else {
    assert.match(note, /^Added 00e0\.fc0f\.0001, VLAN 1, eth-0-1: row \d+/);
    assert.deepEqual(await page.$$eval('tr.just_added .mac', (c) => c.map((x) => x.textContent)), ['00e0.fc0f.0001']);
  }
  const listed = page.url();
  await page.selectOption('#per_page', '25');
  await page.waitForTimeout(250);
  assert.equal(page.url(), listed);
  await finish(page);
  const viewer = await login('viewer', 'viewer');
  assert.equal(await viewer.$('#add_link'), null);
  await finish(viewer);
});

// Moves the focus with Tab alone until it is on selector.
async function tabTo(page, selector) {
  for (let i = 0; i < 300; i++) {
    await page.keyboard.press('Tab');
    if (await page.evaluate((s) => document.activeElement?.matches(s), selector)) return;
  }
  throw new Error(`${selector} is not reached with Tab`);
}

test('the keyboard alone adds, sorts, pages, selects and removes', async () => {
  const page = await login('admin', 'admin');
  await tabTo(page, '#add_link');
  await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  await tabTo(page, '#addr0');
  await page.keyboard.type('00e0');
  await page.keyboard.press('Tab');
  await page.keyboard.type('fc1a');
  await page.keyboard.press('Tab');
  await page.keyboard.type('0001');
  await tabTo(page, '#vlan');
  await page.keyboard.type('1');
  await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  assert.match(page.url(), /web_mac_static\.cgi/);
  await tabTo(page, '#sort_mac');
  await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  assert.match(page.url(), /sort=mac/);
  if (await page.$('a#page_next')) {
    await tabTo(page, '#page_next');
    await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
    assert.match(page.url(), /page=2/);
  }
  // The entry just added, found by its filter, ticked and removed.
  await tabTo(page, '#addr1');
  await page.keyboard.type('fc1a');
  await tabTo(page, '#filter_bn');
  await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  assert.deepEqual(await listedEntries(page), ['00e0.fc1a.0001 1 static eth-0-1']);
  await tabTo(page, '#entries input[name=sel]');
  await page.keyboard.press('Space');
  await tabTo(page, '#delete_bn');
  page.once('dialog', (d) => d.accept());
  await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  assert.equal(await page.textContent('#removed_note'), '1 entry removed.');
  assert.deepEqual(await listedEntries(page), []);
  await finish(page);
});
