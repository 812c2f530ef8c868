<?cs include:"lang_" + lang + ".cs" ?><?cs include:"page_layout.cs" ?><?cs
if:list_type == "dynamic" ?><?cs set:ListTitle = L.list_title_dynamic ?><?cs
elif:list_type == "all" ?><?cs set:ListTitle = L.list_title_all ?><?cs
else ?><?cs set:ListTitle = L.list_title ?><?cs /if ?><?cs call:page_top(ListTitle, ?filter_invalid || (?ports_listed && (?entries_listed || ?rows_over))) ?><?cs
# The view's parts every form carries, beside its own: sort, order, page size. ?><?cs
def:view_fields(with_per_page) ?><?cs if:view.sort ?>
 <input type="hidden" name="sort" value="<?cs var:view.sort ?>"><?cs /if ?><?cs if:view.order ?>
 <input type="hidden" name="order" value="<?cs var:view.order ?>"><?cs /if ?><?cs if:with_per_page && view.per_page ?>
 <input type="hidden" name="per_page" value="<?cs var:view.per_page ?>"><?cs /if ?><?cs /def ?><?cs
def:filter_fields() ?><?cs each:f = FilterNames ?><?cs if:?Query[f] ?>
  <input type="hidden" name="<?cs var:f ?>" value="<?cs var:Query[f] ?>"><?cs /if ?><?cs /each ?><?cs /def ?><?cs
set:FilterNames.0 = "addr0" ?><?cs set:FilterNames.1 = "addr1" ?><?cs set:FilterNames.2 = "addr2" ?><?cs
set:FilterNames.3 = "intf_name" ?><?cs set:FilterNames.4 = "vlan" ?><?cs set:FilterNames.5 = "type" ?><?cs
set:Kinds.1 = "dynamic" ?><?cs set:Kinds.2 = "all" ?><?cs
set:MacGroups.0 = "addr0" ?><?cs set:MacGroups.1 = "addr1" ?><?cs set:MacGroups.2 = "addr2" ?><?cs
# A filter field the page refused: marked, and tied to the note that says why. ?><?cs
def:marked(f) ?><?cs if:?filter_invalid[f] ?> aria-invalid="true" aria-describedby="filter_invalid"<?cs /if ?><?cs /def ?><?cs
def:sort_head(col, label) ?><?cs if:?entries_listed ?><th aria-sort="<?cs var:view.aria[col] ?>"><a id="sort_<?cs var:col ?>" href="web_mac_static.cgi?<?cs var:view.sortlink[col] ?>"><?cs var:label ?><?cs if:view.sort == col ?><?cs if:view.order == "desc" ?> ▼<?cs else ?> ▲<?cs /if ?><?cs else ?><span class="sortable" aria-hidden="true"> ↕</span><?cs /if ?></a></th><?cs else ?><th><?cs var:label ?></th><?cs /if ?><?cs /def ?><?cs
def:pager_link(id, link, label) ?><?cs if:link ?><a id="<?cs var:id ?>" href="web_mac_static.cgi?<?cs var:link ?>"><?cs var:label ?></a><?cs else ?><span id="<?cs var:id ?>" class="disabled" aria-disabled="true"><?cs var:label ?></span><?cs /if ?><?cs /def ?><?cs
def:pager(suffix, label) ?>
<nav id="pager<?cs var:suffix ?>" class="pager" aria-label="<?cs var:label ?>">
 <?cs call:pager_link("page_first" + suffix, view.link.first, L.page_first) ?>
 <?cs call:pager_link("page_prev" + suffix, view.link.prev, L.page_prev) ?>
 <span id="page_of<?cs var:suffix ?>"><?cs call:page_text(view.page, view.pages) ?></span>
 <?cs call:pager_link("page_next" + suffix, view.link.next, L.page_next) ?>
 <?cs call:pager_link("page_last" + suffix, view.link.last, L.page_last) ?>
</nav><?cs /def ?>
<form id="filter_form" method="get" action="web_mac_static.cgi" class="filter">
 <input type="hidden" name="sessionId" value="<?cs var:sessionId ?>">
 <input type="hidden" name="lang" value="<?cs var:lang ?>">
 <label><?cs var:L.mac ?><?cs each:g = MacGroups ?><?cs if:g != "addr0" ?>.<?cs /if ?><input id="<?cs var:g ?>" name="<?cs var:g ?>" aria-label="<?cs var:L.mac_group[g] ?>" maxlength="4" size="4" pattern="<?cs var:Pattern.mac_group ?>" data-invalid="<?cs var:L.mac_group_invalid ?>" value="<?cs var:Query[g] ?>"<?cs call:marked(g) ?>><?cs /each ?>
 </label>
 <label><?cs var:L.intf ?>
  <select id="intf_name" name="intf_name"<?cs call:marked("intf_name") ?>>
   <option value="all"><?cs var:L.all ?></option><?cs each:p = eth ?>
   <option value="<?cs var:p.name ?>"<?cs if:Query.intf_name == p.name ?> selected<?cs /if ?>><?cs var:p.name ?></option><?cs /each ?><?cs each:p = agg ?>
   <option value="<?cs var:p.name ?>"<?cs if:Query.intf_name == p.name ?> selected<?cs /if ?>><?cs var:p.name ?></option><?cs /each ?>
  </select>
 </label>
 <label><?cs var:L.type ?>
  <select id="type" name="type"<?cs call:marked("type") ?>>
   <option value=""><?cs var:L.kind.static ?></option><?cs each:k = Kinds ?>
   <option value="<?cs var:k ?>"<?cs if:Query.type == k ?> selected<?cs /if ?>><?cs var:L.kind[k] ?></option><?cs /each ?>
  </select>
 </label>
 <label><?cs var:L.vlan ?> <input id="vlan" name="vlan" size="5" maxlength="4" inputmode="numeric" pattern="<?cs var:Pattern.vlan ?>" data-invalid="<?cs var:L.vlan_invalid ?>" value="<?cs var:Query.vlan ?>"<?cs call:marked("vlan") ?>></label>
 <button type="submit" id="filter_bn"><?cs var:L.filter ?></button><?cs call:view_fields(1) ?>
</form>
<?cs if:?filter_invalid ?><p class="warn" id="filter_invalid"><?cs var:L.filter_invalid ?></p><?cs /if ?><?cs if:?rows_over ?><p class="warn" id="rows_over"><?cs call:rows_over_text(rows_over) ?></p><?cs /if ?><?cs
if:?entries_listed ?>
<div class="view">
 <p id="count" class="count"><?cs call:count_text(view.first, view.last, view.count) ?></p>
 <?cs if:?removed ?><p id="removed_note" class="note" role="status"><?cs call:removed_text(removed) ?></p><?cs /if ?>
 <p id="added_note" class="note" aria-live="polite" hidden data-here="<?cs var:L.added_here ?>" data-moved="<?cs var:L.moved_here ?>" data-elsewhere="<?cs var:L.added_elsewhere ?>" data-show="<?cs var:L.added_show ?>"></p>
 <a id="export_link" href="web_mac_static.cgi?<?cs var:listquery ?>&amp;format=csv" download><?cs var:L.export ?></a>
 <form id="per_page_form" method="get" action="web_mac_static.cgi">
  <input type="hidden" name="sessionId" value="<?cs var:sessionId ?>">
  <input type="hidden" name="lang" value="<?cs var:lang ?>"><?cs call:filter_fields() ?><?cs call:view_fields(0) ?>
  <label><?cs var:L.per_page ?> <select id="per_page" name="per_page"><?cs each:n = view.choices ?>
   <option value="<?cs var:n ?>"<?cs if:n == view.per_page ?> selected<?cs /if ?>><?cs var:n ?></option><?cs /each ?>
  </select></label>
  <button type="submit" id="per_page_bn"><?cs var:L.show ?></button>
 </form>
</div><?cs /if ?>
<?cs # A row's actions, and the buttons that act on the rows selected: Delete
for static entries, Make static for learned ones. ?><?cs
def:row_buttons(suffix) ?><?cs if:list_type != "dynamic" ?><button type="submit" id="delete<?cs var:suffix ?>_bn" name="operate" value="delete" disabled><?cs var:L.delete_selected ?></button><?cs /if ?><?cs
 if:list_type == "dynamic" || list_type == "all" ?> <button type="submit" id="pin<?cs var:suffix ?>_bn" name="operate" value="pin" disabled><?cs var:L.pin ?></button><?cs /if ?><?cs /def ?><?cs
if:privilege == "normal" ?><form id="delete_form" method="post" action="web_mac_static.cgi?<?cs var:listquery ?>" data-confirm-one="<?cs var:L.delete_confirm_one ?>" data-confirm-many="<?cs var:L.delete_confirm_many ?>" data-pin-one="<?cs var:L.pin_confirm_one ?>" data-pin-many="<?cs var:L.pin_confirm_many ?>" data-max="<?cs var:delete_max ?>" data-too-many="<?cs var:L.delete_too_many ?>"><?cs /if ?>
<?cs if:?entries_listed && view.count > 0 ?><div class="top_controls"><?cs
 if:privilege == "normal" ?><?cs call:row_buttons("_top") ?><?cs /if ?><?cs
 if:view.pages > 1 ?><?cs call:pager("_top", L.pager_top) ?><?cs /if ?></div><?cs /if ?>
<div class="table_box">
<table id="entries">
<thead><tr><?cs if:privilege == "normal" ?><th><input type="checkbox" id="select_all" title="<?cs var:L.select_all ?>" aria-label="<?cs var:L.select_all ?>"></th><?cs /if ?><th class="num">#</th><?cs call:sort_head("mac", L.mac) ?><?cs call:sort_head("vlan", L.vlan) ?><th class="type"><?cs var:L.type ?></th><?cs call:sort_head("intf", L.intf) ?><?cs if:privilege == "normal" && list_type != "dynamic" ?><th class="act"><?cs var:L.actions ?></th><?cs /if ?></tr></thead>
<tbody><?cs each:e = entry ?>
<tr class="<?cs var:e.type ?>"><?cs if:privilege == "normal" ?><td><?cs
 if:e.type == "static" || (e.type == "dynamic" && ?e.vouch) ?><input type="checkbox" name="sel" value="<?cs var:e.mac ?> <?cs var:e.intf ?> <?cs var:e.vlan ?><?cs if:e.type == "dynamic" ?> <?cs var:e.vouch ?><?cs /if ?>" aria-label="<?cs var:L.select_entry ?> <?cs var:e.mac ?>, VLAN <?cs var:e.vlan ?>"><?cs /if ?></td><?cs /if ?><td class="num"><?cs name:e ?></td><td class="mac"><?cs var:e.mac ?></td><td class="vlan"><?cs var:e.vlan ?></td><td class="type"><?cs alt:L.kind[e.type] ?><?cs var:e.type ?><?cs /alt ?></td><td class="intf"><?cs var:e.intf ?></td><?cs
 if:privilege == "normal" && list_type != "dynamic" ?><td class="act"><?cs if:e.type == "static" && ?e.vouch ?><a class="edit" href="web_mac_static_add.cgi?<?cs var:defquerystr ?>&amp;move=<?cs var:e.mac ?>+<?cs var:e.intf ?>+<?cs var:e.vlan ?>+<?cs var:e.vouch ?>" aria-label="<?cs var:L.move ?> <?cs var:e.mac ?>, VLAN <?cs var:e.vlan ?>"><?cs var:L.move ?></a><?cs /if ?></td><?cs /if ?></tr><?cs /each ?>
</tbody>
</table>
</div>
<?cs if:privilege == "normal" ?><?cs if:view.count > 0 ?><div class="actions"><?cs call:row_buttons("") ?></div><?cs /if ?>
</form>
<?cs /if ?>
<?cs if:?entries_listed && view.count == 0 ?><p id="no_entries"><?cs if:list_type == "dynamic" ?><?cs var:L.no_entries_dynamic ?><?cs elif:list_type == "all" ?><?cs var:L.no_entries_all ?><?cs else ?><?cs var:L.no_entries ?><?cs /if ?></p><?cs /if ?><?cs
if:?entries_listed && view.pages > 1 ?><?cs call:pager("", L.pager) ?><?cs /if ?>
<p class="links">
 <?cs if:privilege == "normal" ?><a id="add_link" href="web_mac_static_add.cgi?<?cs var:defquerystr ?>"><?cs var:L.add_link ?></a><?cs /if ?>
 <a id="lang_link" href="web_mac_static.cgi?sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:L.other_lang_code ?>"><?cs var:L.other_lang ?></a>
 <a id="logout_link" href="web_login.cgi?operate=logout&sessionId=<?cs var:url_escape(sessionId) ?>&lang=<?cs var:lang ?>"><?cs var:L.logout ?></a>
</p>
<?cs call:page_bottom() ?>
