<?cs include:"lang_" + lang + ".cs" ?><?cs include:"page_layout.cs" ?><?cs call:page_top(L.add_title, ?ports_listed) ?>
<?cs if:privilege == "normal" ?>
<form id="add_form" method="post" action="web_mac_static_add.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:lang ?>">
<div class="row">
 <label for="addr0"><?cs var:L.mac ?></label>
 <span class="mac">
  <input id="addr0" name="addr0" maxlength="4" size="4" required pattern="<?cs var:Pattern.mac ?>" data-invalid="<?cs var:L.mac_invalid ?>">.<input id="addr1" name="addr1" maxlength="4" size="4" required pattern="<?cs var:Pattern.mac ?>" data-invalid="<?cs var:L.mac_invalid ?>">.<input id="addr2" name="addr2" maxlength="4" size="4" required pattern="<?cs var:Pattern.mac ?>" data-invalid="<?cs var:L.mac_invalid ?>">
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
<?cs else ?>
<p class="warn" id="no_privilege"><?cs var:L.no_privilege ?></p>
<?cs /if ?>
<p class="links">
 <a href="web_mac_static.cgi?<?cs var:defquerystr ?>"><?cs var:L.back ?></a>
 <a href="web_mac_static_add.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:L.other_lang_code ?>"><?cs var:L.other_lang ?></a>
</p>
<?cs call:page_bottom() ?>
