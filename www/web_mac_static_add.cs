<?cs include:"lang_" + lang + ".cs" ?><?cs include:"page_layout.cs" ?><?cs
if:move.result == "unknown" ?><?cs set:AddTitle = L.move_unknown_title ?><?cs
elif:?move.result ?><?cs set:AddTitle = L.move_failed_title ?><?cs
elif:?move.mac ?><?cs set:AddTitle = L.move_title ?><?cs
else ?><?cs set:AddTitle = L.add_title ?><?cs /if ?><?cs call:page_top(AddTitle, ?ports_listed || ?move.result) ?>
<?cs if:privilege == "normal" && ?move.result ?>
<p id="move_result" class="warn <?cs var:move.result ?>" role="status"><?cs call:move_result_text(move.result, move.now) ?></p><?cs
 if:?move.reason ?>
<p id="move_reason"><?cs var:L.move_said ?> <q class="text"><?cs var:move.reason ?></q></p><?cs /if ?>
<p class="links"><a id="move_again" href="web_mac_static_add.cgi?<?cs var:defquerystr ?>&amp;mac=<?cs var:move.mac ?>&amp;vlan=<?cs var:move.vlan ?>&amp;from=<?cs var:move.from ?>&amp;vouch=<?cs var:move.vouch ?>"><?cs var:L.move_again ?></a></p><?cs
elif:privilege == "normal" && ?move.mac ?>
<form id="move_form" method="post" action="web_mac_static_add.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:lang ?>">
<input type="hidden" name="operate" value="move">
<input type="hidden" name="from" value="<?cs var:move.from ?>">
<input type="hidden" name="vouch" value="<?cs var:move.vouch ?>">
<p><small><?cs var:L.move_hint ?></small></p>
<div class="row">
 <label for="move_mac"><?cs var:L.mac ?></label>
 <input id="move_mac" name="mac" value="<?cs var:move.mac ?>" readonly size="15">
</div>
<div class="row">
 <label for="move_vlan"><?cs var:L.vlan ?></label>
 <input id="move_vlan" name="vlan" value="<?cs var:move.vlan ?>" readonly size="6">
</div>
<div class="row">
 <label for="intf_name"><?cs var:L.move_to ?></label>
 <select id="intf_name" name="intf_name">
  <optgroup label="<?cs var:L.ethernet ?>"><?cs each:p = eth ?>
   <option value="<?cs var:p.name ?>"<?cs if:p.name == move.from ?> selected<?cs /if ?>><?cs var:p.name ?></option><?cs /each ?>
  </optgroup>
  <optgroup label="<?cs var:L.aggregation ?>"><?cs each:p = agg ?>
   <option value="<?cs var:p.name ?>"<?cs if:p.name == move.from ?> selected<?cs /if ?>><?cs var:p.name ?></option><?cs /each ?>
  </optgroup>
 </select>
</div>
<div class="actions">
 <button type="submit" id="move_bn"><?cs var:L.move ?></button>
</div>
</form>
<script>
// The entry as it will stand once moved, for the listing to point it out.
document.getElementById('move_form').addEventListener('submit', function (ev) {
  if (ev.defaultPrevented) return;
  var v = function (id) { return document.getElementById(id).value; };
  try {
    sessionStorage.setItem('just_added', JSON.stringify({mac: v('move_mac'), vlan: v('move_vlan'),
      intf: v('intf_name'), moved: true, at: Date.now()}));
  } catch (e) {}
});
</script><?cs
elif:privilege == "normal" ?>
<form id="add_form" method="post" action="web_mac_static_add.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:lang ?>">
<div class="row">
 <label for="addr0"><?cs var:L.mac ?></label>
 <span class="mac">
  <input id="addr0" name="addr0" aria-label="<?cs var:L.mac_group.addr0 ?>" maxlength="4" size="4" required pattern="<?cs var:Pattern.mac ?>" data-invalid="<?cs var:L.mac_invalid ?>">.<input id="addr1" name="addr1" aria-label="<?cs var:L.mac_group.addr1 ?>" maxlength="4" size="4" required pattern="<?cs var:Pattern.mac ?>" data-invalid="<?cs var:L.mac_invalid ?>">.<input id="addr2" name="addr2" aria-label="<?cs var:L.mac_group.addr2 ?>" maxlength="4" size="4" required pattern="<?cs var:Pattern.mac ?>" data-invalid="<?cs var:L.mac_invalid ?>">
 </span>
 <small><?cs var:L.mac_hint ?></small>
</div>
<div class="row">
 <label for="intf_name"><?cs var:L.intf ?></label>
 <select id="intf_name" name="intf_name">
  <optgroup label="<?cs var:L.ethernet ?>"><?cs each:p = eth ?>
   <option value="<?cs var:p.name ?>"><?cs var:p.name ?></option><?cs /each ?>
  </optgroup>
  <optgroup label="<?cs var:L.aggregation ?>"><?cs each:p = agg ?>
   <option value="<?cs var:p.name ?>"><?cs var:p.name ?></option><?cs /each ?>
  </optgroup>
 </select>
 <?cs if:?ports_listed && !?ifname ?><small class="warn"><?cs var:L.no_ports ?></small><?cs /if ?>
</div>
<div class="row">
 <label for="vlan"><?cs var:L.vlan ?></label>
 <input id="vlan" name="vlan" size="6" maxlength="4" required inputmode="numeric" pattern="<?cs var:Pattern.vlan ?>" data-invalid="<?cs var:L.vlan_invalid ?>">
</div>
<div class="actions">
 <button type="submit" id="add_bn" name="add_bn" value="add"><?cs var:L.add ?></button>
</div>
</form>
<form id="add_many_form" method="post" action="web_mac_static_add.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:lang ?>"
 data-line="<?cs var:L.batch_line ?>" data-control="<?cs var:L.fault.control ?>" data-fields="<?cs var:L.fault.fields ?>"
 data-mac="<?cs var:L.fault.mac ?>" data-vlan="<?cs var:L.fault.vlan ?>" data-intf="<?cs var:L.fault.intf ?>"
 data-conflict="<?cs var:L.fault.conflict ?>" data-too-many="<?cs var:L.fault.too_many ?>" data-too-long="<?cs var:L.fault.too_long ?>"
 data-max="<?cs var:batch_max ?>" data-body-max="<?cs var:batch_body_max ?>">
<h2 id="add_many_title"><?cs var:L.add_many_title ?></h2>
<input type="hidden" name="operate" value="add_many">
<p><small><?cs var:L.entries_hint ?></small></p>
<div class="numbered"><pre id="entries_lines" class="gutter" aria-hidden="true">1</pre><textarea id="entries" name="entries" aria-labelledby="add_many_title" rows="8" cols="60" wrap="off" spellcheck="false" autocomplete="off" placeholder="00e0.fc0a.0001, 10, eth-0-1"></textarea></div>
<div class="row">
 <label for="entries_file"><?cs var:L.entries_file ?></label>
 <input type="file" id="entries_file" accept=".csv,.txt,text/csv,text/plain">
</div>
<ul id="entries_errors" class="field-error" aria-live="polite"></ul>
<div class="actions">
 <button type="submit" id="add_many_bn"><?cs var:L.add_many ?></button>
</div>
</form>
<script>
// The entry a single add sends, for the listing to point it out once the
// switch has it. The form shown again soon after (the way back from a
// refusal) offers what was typed, then forgets it.
(function () {
  var form = document.getElementById('add_form');
  try {
    var sent = JSON.parse(sessionStorage.getItem('just_added') || 'null');
    sessionStorage.removeItem('just_added');
    if (form && sent && Date.now() - sent.at < 300000) {
      var g = sent.mac.split('.');
      ['addr0', 'addr1', 'addr2'].forEach(function (k, i) { document.getElementById(k).value = g[i] || ''; });
      document.getElementById('vlan').value = sent.vlan;
      var intf = document.getElementById('intf_name');
      if (intf.querySelector('option[value="' + sent.intf + '"]')) intf.value = sent.intf;
    }
  } catch (e) {}
  if (form) form.addEventListener('submit', function (ev) {
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
</script>
<?cs else ?>
<p class="warn" id="no_privilege"><?cs var:L.no_privilege ?></p>
<?cs /if ?>
<p class="links">
 <a href="web_mac_static.cgi?<?cs var:defquerystr ?>"><?cs var:L.back ?></a>
 <a href="web_mac_static_add.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:L.other_lang_code ?><?cs if:?move.mac && !?move.result ?>&amp;mac=<?cs var:move.mac ?>&amp;vlan=<?cs var:move.vlan ?>&amp;from=<?cs var:move.from ?>&amp;vouch=<?cs var:move.vouch ?><?cs /if ?>"><?cs var:L.other_lang ?></a>
</p>
<?cs call:page_bottom() ?>
