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
<?cs /if ?>
<p class="links">
 <a id="table_link" href="web_mac_static.cgi?<?cs var:defquerystr ?>"><?cs var:L.back ?></a>
<?cs if:batch.action != "pin" ?>
 <a id="form_link" href="web_mac_static_add.cgi?<?cs var:defquerystr ?>"><?cs var:L.batch_again ?></a><?cs /if ?>
</p>
<?cs call:page_bottom() ?>
