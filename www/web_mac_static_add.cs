<?cs include:"lang_" + lang + ".cs" ?><?cs include:"page_layout.cs" ?><?cs
if:move.result == "unknown" ?><?cs set:AddTitle = L.move_unknown_title ?><?cs
elif:?move.result ?><?cs set:AddTitle = L.move_failed_title ?><?cs
elif:?move.mac ?><?cs set:AddTitle = L.move_title ?><?cs
else ?><?cs set:AddTitle = L.add_title ?><?cs /if ?><?cs call:page_top(AddTitle, ?ports_listed || ?move.result) ?>
<?cs if:privilege == "normal" && ?move.result ?>
<p id="move_result" class="warn <?cs var:move.result ?>" role="status"><?cs call:move_result_text(move.result, move.now) ?></p><?cs
 if:?move.reason ?>
<p id="move_reason"><?cs var:L.move_said ?> <q class="text"><?cs var:move.reason ?></q></p><?cs /if ?>
<p class="links"><a id="move_again" href="web_mac_static_add.cgi?<?cs var:defquerystr ?>&amp;move=<?cs var:url_escape(move.value) ?>"><?cs var:L.move_again ?></a></p><?cs
elif:privilege == "normal" && ?move.mac ?>
<form id="move_form" method="post" action="web_mac_static_add.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:lang ?>">
<input type="hidden" name="operate" value="move">
<input type="hidden" name="move" value="<?cs var:move.value ?>">
<p><small><?cs var:L.move_hint ?></small></p>
<div class="row">
 <label for="move_mac"><?cs var:L.mac ?></label>
 <input id="move_mac" value="<?cs var:move.mac ?>" readonly size="15">
</div>
<div class="row">
 <label for="move_vlan"><?cs var:L.vlan ?></label>
 <input id="move_vlan" value="<?cs var:move.vlan ?>" readonly size="6">
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
<?cs
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
<?cs else ?>
<p class="warn" id="no_privilege"><?cs var:L.no_privilege ?></p>
<?cs /if ?>
<p class="links">
 <a href="web_mac_static.cgi?<?cs var:defquerystr ?>"><?cs var:L.back ?></a>
 <a href="web_mac_static_add.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:L.other_lang_code ?><?cs if:?move.mac && !?move.result ?>&amp;move=<?cs var:url_escape(move.value) ?><?cs /if ?>"><?cs var:L.other_lang ?></a>
</p>
<?cs call:page_bottom() ?>
