<?cs include:"lang_" + lang + ".cs" ?><?cs include:"page_layout.cs" ?><?cs call:set_batch_title() ?><?cs call:page_top(BatchTitle, ?batch.state) ?><?cs
if:?batch.state ?>
<p id="summary" class="summary"><?cs call:batch_summary(batch.added, batch.refused, batch.unknown, batch.invalid) ?></p><?cs
 if:batch.state == "invalid" ?>
<p class="warn" id="batch_invalid"><?cs var:L.batch_invalid ?></p><?cs
 elif:batch.state == "empty" ?>
<p class="warn" id="batch_empty"><?cs var:L.batch_empty ?></p><?cs /if ?><?cs
 if:?batch.failure ?>
<p class="warn" id="batch_failure"><?cs var:L.batch_failure[batch.failure] ?></p><?cs /if ?><?cs
 if:?batch.read_back ?>
<p class="note" id="batch_read_back"><?cs var:L.batch_read_back ?></p><?cs /if ?><?cs
 if:?result.1.line ?>
<table id="results">
<thead><tr><th class="line"><?cs var:L.line ?></th><th><?cs var:L.mac ?></th><th><?cs var:L.vlan ?></th><th><?cs var:L.intf ?></th><th><?cs var:L.outcome_head ?></th></tr></thead>
<tbody><?cs each:r = result ?>
<tr class="<?cs var:r.class ?>"><td class="line"><?cs var:r.line ?></td><?cs
 if:r.class == "invalid" ?><td class="text" colspan="3"><?cs var:r.text ?></td><td class="why"><?cs
  if:r.fault == "conflict" ?><?cs call:conflict_text(r.other) ?><?cs else ?><?cs var:L.fault[r.fault] ?><?cs /if ?></td><?cs
 else ?><td class="mac"><?cs var:r.mac ?></td><td class="vlan"><?cs var:r.vlan ?></td><td class="intf"><?cs var:r.intf ?></td><td class="outcome"><?cs
  if:batch.action == "pin" && r.class == "added" ?><?cs var:L.pinned ?><?cs else ?><?cs var:L.outcome[r.class] ?><?cs /if ?><?cs if:?r.other ?> (<?cs call:same_entry_text(r.other) ?>)<?cs /if ?><?cs
  if:r.reason == "cli_not_applied" ?>: <span class="reason"><?cs var:L.not_applied ?></span><?cs
  elif:?r.reason ?>: <span class="reason"><?cs var:r.reason ?></span><?cs /if ?></td><?cs /if ?></tr><?cs /each ?>
</tbody>
</table><?cs /if ?><?cs
/if ?>
<?cs if:batch.action != "pin" && (batch.state == "invalid" || batch.refused > 0 || batch.unknown > 0) ?>
<p class="mend">
 <?cs if:batch.state == "ran" ?><label><input type="checkbox" id="only_not_added"> <?cs var:L.only_not_added ?></label><?cs /if ?>
 <a id="mend_link" href="web_mac_static_add.cgi?<?cs var:defquerystr ?>"><?cs if:batch.state == "ran" ?><?cs var:L.mend ?><?cs else ?><?cs var:L.mend_all ?><?cs /if ?></a>
</p>
<script>
// The lines not added go back to the add page's box, and only those: a
// list refused whole comes back as it was sent; of one that ran, the lines
// refused or not known, in the form the box takes.
(function () {
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
</script><?cs /if ?>
<script>
// The list's answer came: the add form no longer brings it back as sent.
try { sessionStorage.removeItem('sent_entries'); } catch (e) {}
</script>
<p class="links">
 <a id="table_link" href="web_mac_static.cgi?<?cs var:defquerystr ?>"><?cs var:L.back ?></a>
<?cs if:batch.action != "pin" ?>
 <a id="form_link" href="web_mac_static_add.cgi?<?cs var:defquerystr ?>"><?cs var:L.batch_again ?></a><?cs /if ?>
</p>
<?cs call:page_bottom() ?>
