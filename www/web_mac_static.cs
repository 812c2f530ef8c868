<?cs include:"lang_" + lang + ".cs" ?><?cs include:"page_layout.cs" ?><?cs call:page_top(L.list_title, ?ports_listed && ?entries_listed) ?>
<form id="filter_form" method="get" action="web_mac_static.cgi" class="filter">
 <input type="hidden" name="sessionId" value="<?cs var:sessionId ?>">
 <input type="hidden" name="lang" value="<?cs var:lang ?>">
 <label><?cs var:L.mac ?>
  <input id="addr0" name="addr0" maxlength="4" size="4" pattern="<?cs var:Pattern.mac ?>" data-invalid="<?cs var:L.mac_invalid ?>" value="<?cs var:Query.addr0 ?>">.<input id="addr1" name="addr1" maxlength="4" size="4" pattern="<?cs var:Pattern.mac ?>" data-invalid="<?cs var:L.mac_invalid ?>" value="<?cs var:Query.addr1 ?>">.<input id="addr2" name="addr2" maxlength="4" size="4" pattern="<?cs var:Pattern.mac ?>" data-invalid="<?cs var:L.mac_invalid ?>" value="<?cs var:Query.addr2 ?>">
 </label>
 <label><?cs var:L.intf ?>
  <select id="intf_name" name="intf_name">
   <option value="all"><?cs var:L.all ?></option><?cs each:p = eth ?>
   <option value="<?cs var:p.name ?>"<?cs if:Query.intf_name == p.name ?> selected<?cs /if ?>><?cs var:p.name ?></option><?cs /each ?><?cs each:p = agg ?>
   <option value="<?cs var:p.name ?>"<?cs if:Query.intf_name == p.name ?> selected<?cs /if ?>><?cs var:p.name ?></option><?cs /each ?>
  </select>
 </label>
 <label><?cs var:L.vlan ?> <input id="vlan" name="vlan" size="5" maxlength="4" inputmode="numeric" pattern="<?cs var:Pattern.vlan ?>" data-invalid="<?cs var:L.vlan_invalid ?>" value="<?cs var:Query.vlan ?>"></label>
 <button type="submit" id="filter_bn"><?cs var:L.filter ?></button>
</form>
<?cs if:privilege == "normal" ?><form id="delete_form" method="post" action="web_mac_static.cgi?<?cs var:listquery ?>" data-confirm-one="<?cs var:L.delete_confirm_one ?>" data-confirm-many="<?cs var:L.delete_confirm_many ?>" data-max="<?cs var:delete_max ?>" data-too-many="<?cs var:L.delete_too_many ?>">
<input type="hidden" name="operate" value="delete"><?cs /if ?>
<table id="entries">
<thead><tr><?cs if:privilege == "normal" ?><th><input type="checkbox" id="select_all" title="<?cs var:L.select_all ?>"></th><?cs /if ?><th>#</th><th><?cs var:L.mac ?></th><th><?cs var:L.vlan ?></th><th><?cs var:L.type ?></th><th><?cs var:L.intf ?></th></tr></thead>
<tbody><?cs each:e = entry ?>
<tr><?cs if:privilege == "normal" ?><td><input type="checkbox" name="sel" value="<?cs var:e.mac ?> <?cs var:e.intf ?> <?cs var:e.vlan ?>" title="<?cs var:L.select ?>"></td><?cs /if ?><td><?cs name:e ?></td><td class="mac"><?cs var:e.mac ?></td><td class="vlan"><?cs var:e.vlan ?></td><td class="type"><?cs var:e.type ?></td><td class="intf"><?cs var:e.intf ?></td></tr><?cs /each ?>
</tbody>
</table>
<?cs if:privilege == "normal" ?><?cs if:?entry.1.mac ?><div class="actions"><button type="submit" id="delete_bn" disabled><?cs var:L.delete_selected ?></button></div><?cs /if ?>
</form>
<script>
(function () {
  var form = document.getElementById('delete_form');
  var boxes = form.querySelectorAll('input[name=sel]');
  var all = document.getElementById('select_all');
  var button = document.getElementById('delete_bn');
  function chosen() {
    var n = form.querySelectorAll('input[name=sel]:checked').length;
    if (button) button.disabled = n === 0;
    return n;
  }
  all.addEventListener('change', function () {
    boxes.forEach(function (b) { b.checked = all.checked; });
    chosen();
  });
  form.addEventListener('change', chosen);
  form.addEventListener('submit', function (ev) {
    var n = chosen();
    var max = Number(form.dataset.max);
    if (n > max) {
      window.alert(form.dataset.tooMany.replace('%d', max));
      ev.preventDefault();
      return;
    }
    var ask = (n === 1 ? form.dataset.confirmOne : form.dataset.confirmMany).replace('%d', n);
    if (n === 0 || !window.confirm(ask)) ev.preventDefault();
  });
})();
</script><?cs /if ?>
<?cs if:?entries_listed && !?entry.1.mac ?><p id="no_entries"><?cs var:L.no_entries ?></p><?cs /if ?>
<p class="links">
 <a id="add_link" href="web_mac_static_add.cgi?<?cs var:defquerystr ?>"><?cs var:L.add_link ?></a>
 <a id="lang_link" href="web_mac_static.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:L.other_lang_code ?>"><?cs var:L.other_lang ?></a>
 <a id="logout_link" href="web_login.cgi?operate=logout&sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:lang ?>"><?cs var:L.logout ?></a>
</p>
<?cs call:page_bottom() ?>
