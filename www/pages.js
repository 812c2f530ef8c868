// The pages' behaviour in the browser, one file for all of them, kept by
// the browser between requests. Each part acts only on the page that has
// its elements; the order matters where two parts share a remembered value.
// ---- Every page.
// A field the browser finds malformed says why, beside it and in the page's
// language, before the form goes; the switch still decides.
document.querySelectorAll('input[data-invalid]').forEach(function (f) {
  var place = f.closest('.row, label');
  var note = document.createElement('small');
  note.className = 'field-error';
  note.setAttribute('aria-live', 'polite');
  place.appendChild(note);
  // The note is the field's own: a reader names it with the field.
  note.id = f.id + '_error';
  f.setAttribute('aria-describedby', ((f.getAttribute('aria-describedby') || '') + ' ' + note.id).trim());
  function check() {
    f.setCustomValidity('');
    var bad = !f.validity.valid;
    f.setCustomValidity(bad ? f.dataset.invalid : '');
    note.textContent = bad ? f.dataset.invalid : '';
    if (bad) f.setAttribute('aria-invalid', 'true'); else f.removeAttribute('aria-invalid');
  }
  f.addEventListener('invalid', check);
  f.addEventListener('input', function () { if (note.textContent) check(); else f.setCustomValidity(''); });
});
// A form sent shows that it is working and cannot be sent twice: its
// buttons are off until the answer replaces the page. A check that stopped
// the submit (defaultPrevented) leaves them on.
document.addEventListener('submit', function (ev) {
  if (ev.defaultPrevented || ev.target.method !== 'post') return;
  var form = ev.target;
  form.setAttribute('aria-busy', 'true');
  setTimeout(function () {
    form.querySelectorAll('button[type=submit]').forEach(function (b) {
      b.disabled = true;
      b.classList.add('working');
    });
  }, 0);
});

// ---- The listing.
// Delete acts on static entries, Make static on learned ones: each button
// is on while the rows selected are all of its kind.
(function () {
  var form = document.getElementById('delete_form');
  if (!form) return;
  var boxes = form.querySelectorAll('input[name=sel]');
  var all = document.getElementById('select_all');
  function chosen(kind) { return form.querySelectorAll('tr.' + kind + ' input[name=sel]:checked').length; }
  function update() {
    var s = chosen('static'), d = chosen('dynamic');
    form.querySelectorAll('button[value=delete]').forEach(function (b) { b.disabled = s === 0 || d > 0; });
    form.querySelectorAll('button[value=pin]').forEach(function (b) { b.disabled = d === 0 || s > 0; });
  }
  all.addEventListener('change', function () {
    boxes.forEach(function (b) { b.checked = all.checked; });
    update();
  });
  form.addEventListener('change', update);
  form.addEventListener('submit', function (ev) {
    var pin = ev.submitter && ev.submitter.value === 'pin';
    var n = chosen(pin ? 'dynamic' : 'static');
    var max = Number(form.dataset.max);
    if (n > max) {
      window.alert(form.dataset.tooMany.replace('%d', max));
      ev.preventDefault();
      return;
    }
    var d = form.dataset;
    var ask = (pin ? (n === 1 ? d.pinOne : d.pinMany) : (n === 1 ? d.confirmOne : d.confirmMany)).replace('%d', n);
    if (n === 0 || !window.confirm(ask)) ev.preventDefault();
  });
})();
// The entry a single add just sent (remembered by the add form): marked in
// the rows when it is on this page, or a link to the view that holds it.
(function () {
  var note = document.getElementById('added_note'), e;
  if (!note) return;
  try { e = JSON.parse(sessionStorage.getItem('just_added') || 'null'); sessionStorage.removeItem('just_added'); } catch (x) {}
  // Only just after the add: the listing it was sent to.
  if (!e || !(Date.now() - e.at < 30000)) return;
  var what = e.mac + ', VLAN ' + e.vlan + ', ' + e.intf, found = null;
  document.querySelectorAll('#entries tbody tr').forEach(function (tr) {
    var cell = function (c) { return tr.querySelector(c).textContent.trim().toLowerCase(); };
    if (cell('.mac') === e.mac && cell('.vlan') === e.vlan && cell('.intf') === e.intf) found = tr;
  });
  note.hidden = false;
  if (found) {
    found.classList.add('just_added');
    note.textContent = (e.moved ? note.dataset.moved : note.dataset.here).replace('%s', what).replace('%d', found.querySelector('.num').textContent.trim());
    found.scrollIntoView({block: 'center'});
    return;
  }
  var g = e.mac.split('.'), url = new URL(location.href);
  ['addr0', 'addr1', 'addr2'].forEach(function (k, i) { url.searchParams.set(k, g[i] || ''); });
  url.searchParams.set('vlan', e.vlan);
  url.searchParams.set('page', '1');
  note.textContent = note.dataset.elsewhere.replace('%s', what) + ' ';
  var a = document.createElement('a');
  a.id = 'added_link';
  a.href = url.href;
  a.textContent = note.dataset.show;
  note.appendChild(a);
})();

// ---- The add page.
// The entry as it will stand once moved, for the listing to point it out.
var moveForm = document.getElementById('move_form');
if (moveForm) moveForm.addEventListener('submit', function (ev) {
  if (ev.defaultPrevented) return;
  var v = function (id) { return document.getElementById(id).value; };
  try {
    sessionStorage.setItem('just_added', JSON.stringify({mac: v('move_mac'), vlan: v('move_vlan'),
      intf: v('intf_name'), moved: true, at: Date.now()}));
  } catch (e) {}
});
// The entry a single add sends, for the listing to point it out once the
// switch has it. The form shown again soon after (the way back from a
// refusal) offers what was typed, then forgets it.
(function () {
  var form = document.getElementById('add_form');
  if (!form) return;
  try {
    var sent = JSON.parse(sessionStorage.getItem('just_added') || 'null');
    sessionStorage.removeItem('just_added');
    if (sent && Date.now() - sent.at < 300000) {
      var g = sent.mac.split('.');
      ['addr0', 'addr1', 'addr2'].forEach(function (k, i) { document.getElementById(k).value = g[i] || ''; });
      document.getElementById('vlan').value = sent.vlan;
      var intf = document.getElementById('intf_name');
      if (intf.querySelector('option[value="' + sent.intf + '"]')) intf.value = sent.intf;
    }
  } catch (e) {}
  form.addEventListener('submit', function (ev) {
    if (ev.defaultPrevented) return;
    var v = function (id) { return document.getElementById(id).value.trim().toLowerCase(); };
    var entry = {mac: v('addr0') + '.' + v('addr1') + '.' + v('addr2'), vlan: v('vlan'), intf: v('intf_name'),
                 at: Date.now()};
    try { sessionStorage.setItem('just_added', JSON.stringify(entry)); } catch (e) {}
  });
})();
// The list is checked here by the rules the switch's page holds it to, and
// each bad line is named before anything is sent; the page checks again.
(function () {
  var form = document.getElementById('add_many_form');
  if (!form) return;
  var text = document.getElementById('entries');
  var list = document.getElementById('entries_errors');
  var d = form.dataset;
  var MAC = /^(?:[0-9a-f]{4}\.[0-9a-f]{4}\.[0-9a-f]{4}|[0-9a-f]{2}([:-])[0-9a-f]{2}(?:\1[0-9a-f]{2}){4})$/i;
  var VLAN = /^(?:[1-9][0-9]{0,2}|[1-3][0-9]{3}|40[0-8][0-9]|409[0-4])$/;
  var INTF = /^(?:eth-(?:0|[1-9][0-9]{0,2})-(?:0|[1-9][0-9]{0,2})|agg(?:0|[1-9][0-9]{0,2}))$/;
  function canonical(mac) {
    var hex = mac.toLowerCase().replace(/[.:-]/g, '');
    return hex.slice(0, 4) + '.' + hex.slice(4, 8) + '.' + hex.slice(8);
  }
  function faults() {
    var out = [], seen = {}, entries = 0, said = {};
    text.value.split('\n').forEach(function (raw, i) {
      var n = i + 1, line = raw.replace(/\r$/, '').replace(/^[ \t]+|[ \t]+$/g, '');
      if (line === '' || line[0] === '#' || (n === 1 && /^mac\s*,\s*vlan\s*,\s*interface$/i.test(line))) return;
      entries++;
      said[n] = line.length > 60 ? line.slice(0, 60) + '…' : line;
      var why = null, f = line.split(/[ \t]*,[ \t]*|[ \t]+/);
      if (/[\x00-\x08\x0a-\x1f\x7f]/.test(line)) why = d.control;
      else if (f.length !== 3 || f.some(function (x) { return x === ''; })) why = d.fields;
      else if (!MAC.test(f[0])) why = d.mac;
      else if (!VLAN.test(f[1])) why = d.vlan;
      else if (!INTF.test(f[2])) why = d.intf;
      if (!why) {
        var key = canonical(f[0]) + ' ' + f[1], first = seen[key];
        if (!first) seen[key] = {n: n, intf: f[2]};
        else if (first.intf !== f[2]) {
          out.push([first.n, d.conflict.replace('%d', n)]);
          why = d.conflict.replace('%d', first.n);
        }
      }
      if (why) out.push([n, why]);
    });
    out.sort(function (a, b) { return a[0] - b[0]; });
    // Each note with the line's own text, so that it is found without counting.
    var notes = out.map(function (o) { return [d.line.replace('%d', o[0]) + o[1], said[o[0]]]; });
    if (entries > Number(d.max)) notes.unshift([d.tooMany.replace('%d', d.max)]);
    if (encodeURIComponent(text.value).length + 64 > Number(d.bodyMax)) notes.unshift([d.tooLong]);
    return notes;
  }
  // The box's line numbers, the ones its notes name; lines never wrap, so
  // the gutter's lines stand beside the box's as it scrolls.
  var gutter = document.getElementById('entries_lines');
  function number() {
    var n = text.value.split('\n').length, s = '1';
    for (var i = 2; i <= n; i++) s += '\n' + i;
    if (gutter.textContent !== s) gutter.textContent = s;
    gutter.scrollTop = text.scrollTop;
  }
  text.addEventListener('scroll', function () { gutter.scrollTop = text.scrollTop; });
  function show(notes) {
    number();
    list.textContent = '';
    notes.forEach(function (t) {
      var li = document.createElement('li');
      var why = document.createElement('span');
      why.className = 'why';
      why.textContent = t[0];
      li.appendChild(why);
      if (t[1] !== undefined) {
        var q = document.createElement('q');
        q.className = 'text';
        q.textContent = t[1];
        li.appendChild(document.createTextNode(' '));
        li.appendChild(q);
      }
      list.appendChild(li);
    });
  }
  form.addEventListener('submit', function (ev) {
    var notes = faults();
    show(notes);
    if (notes.length) ev.preventDefault();
    // Kept, so that a list refused whole can come back to the box as sent.
    else try { sessionStorage.setItem('sent_entries', text.value); } catch (e) {}
  });
  // Lines sent back from a list's answer to be mended; or a list sent that
  // got no answer of its own (the way back from a refusal): as it was typed.
  try {
    var mend = sessionStorage.getItem('mend_entries') || sessionStorage.getItem('sent_entries');
    sessionStorage.removeItem('mend_entries');
    sessionStorage.removeItem('sent_entries');
    if (mend) { text.value = mend; show(faults()); }
  } catch (e) {}
  text.addEventListener('input', function () { if (list.firstChild) show(faults()); else number(); });
  document.getElementById('entries_file').addEventListener('change', function (ev) {
    var file = ev.target.files[0];
    if (!file) return;
    var reader = new FileReader();
    reader.onload = function () { text.value = reader.result; show(faults()); };
    reader.readAsText(file);
  });
})();

// ---- A list's answer.
// The lines not added go back to the add page's box, and only those: a
// list refused whole comes back as it was sent; of one that ran, the lines
// refused or not known, in the form the box takes.
(function () {
  if (!document.getElementById('mend_link')) return;
  var sent = null;
  try { sent = sessionStorage.getItem('sent_entries'); } catch (e) {}
  var only = document.getElementById('only_not_added');
  if (only) only.addEventListener('change', function () {
    document.querySelectorAll('#results tbody tr.added').forEach(function (tr) { tr.hidden = only.checked; });
  });
  document.getElementById('mend_link').addEventListener('click', function () {
    var text = sent;
    if (document.querySelector('#results tr.invalid') === null || text === null || text === undefined) {
      var lines = [];
      document.querySelectorAll('#results tbody tr.refused, #results tbody tr.unknown').forEach(function (tr) {
        var c = function (k) { return tr.querySelector(k).textContent.trim(); };
        var line = c('.mac') + ',' + c('.vlan') + ',' + c('.intf');
        if (lines.indexOf(line) < 0) lines.push(line);
      });
      text = lines.join('\n');
    }
    try { sessionStorage.setItem('mend_entries', text); } catch (e) {}
  });
})();
// The list's answer came: the add form no longer brings it back as sent.
if (document.getElementById('table_link')) try { sessionStorage.removeItem('sent_entries'); } catch (e) {}
