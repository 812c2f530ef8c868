<?cs set:L.html_lang = "en" ?>
<?cs set:L.add_title = "Add static MAC address entry" ?>
<?cs set:L.list_title = "Static MAC address table" ?>
<?cs set:L.mac = "MAC address" ?>
<?cs set:L.mac_hint = "three groups of four hex digits, e.g. 00e0.fc0a.b1c2" ?>
<?cs set:L.intf = "Interface" ?>
<?cs set:L.vlan = "VLAN" ?>
<?cs set:L.type = "Type" ?>
<?cs set:L.add = "Add" ?>
<?cs set:L.back = "Back to the table" ?>
<?cs set:L.no_ports = "The switch reported no ports." ?>
<?cs set:L.no_privilege = "Your account may view the table but not add entries." ?>
<?cs set:L.ethernet = "Ethernet ports" ?>
<?cs set:L.aggregation = "Link aggregation ports" ?>
<?cs set:L.other_lang = "中文" ?>
<?cs set:L.other_lang_code = "cn" ?>
<?cs set:L.filter = "Filter" ?>
<?cs set:L.all = "all" ?>
<?cs set:L.add_link = "Add a static entry" ?>
<?cs set:L.logout = "Log out" ?>
<?cs set:L.no_entries = "No static entries match." ?>
<?cs set:L.cli_failed = "The switch did not answer in full: what is shown may be incomplete. Reload the page to try again." ?>
<?cs set:L.delete_selected = "Delete selected" ?>
<?cs set:L.delete_confirm_one = "Delete 1 static entry?" ?>
<?cs set:L.delete_too_many = "At most %d entries can be deleted at a time; select fewer." ?>
<?cs set:L.delete_confirm_many = "Delete %d static entries?" ?>
<?cs set:L.select = "Select this entry" ?>
<?cs set:L.select_all = "Select all entries on this page" ?>
<?cs set:L.mac_group.addr0 = "MAC address, group 1 of 3" ?>
<?cs set:L.mac_group.addr1 = "MAC address, group 2 of 3" ?>
<?cs set:L.mac_group.addr2 = "MAC address, group 3 of 3" ?>
<?cs set:L.select_entry = "Select" ?>
<?cs set:L.per_page = "Rows per page" ?>
<?cs set:L.show = "Show" ?>
<?cs set:L.page_first = "First" ?>
<?cs set:L.page_prev = "Previous" ?>
<?cs set:L.page_next = "Next" ?>
<?cs set:L.page_last = "Last" ?>
<?cs set:L.pager = "Pages" ?>
<?cs set:L.pager_top = "Pages, above the table" ?>
<?cs def:count_text(first, last, count) ?><?cs if:count == 0 ?>0 of 0<?cs else ?><?cs var:first ?>–<?cs var:last ?> of <?cs var:count ?><?cs /if ?><?cs /def ?>
<?cs def:page_text(page, pages) ?>Page <?cs var:page ?> of <?cs var:pages ?><?cs /def ?>
<?cs def:rows_over_text(max) ?>More than <?cs var:max ?> entries match, more than this page can sort and count: narrow the filter (VLAN, interface or MAC address).<?cs /def ?>
<?cs set:L.mac_invalid = "Four hex digits (0-9, a-f)" ?>
<?cs set:L.vlan_invalid = "A VLAN from 1 to 4094" ?>
<?cs set:L.mac_group_invalid = "One to four hex digits (0-9, a-f); empty for any" ?>
<?cs set:L.filter_invalid = "A filter value is not valid (marked below): nothing was listed. Mend it and filter again." ?>
<?cs set:L.add_many_title = "Add several entries" ?>
<?cs set:L.entries_hint = "One entry a line: MAC address, VLAN, interface, separated by commas, tabs or blanks. Lines starting with # are skipped; a file exported from the table can be loaded as it is." ?>
<?cs set:L.entries_file = "Load a file" ?>
<?cs set:L.add_many = "Add all" ?>
<?cs set:L.batch_line = "Line %d: " ?>
<?cs set:L.fault.control = "holds a control character" ?>
<?cs set:L.fault.fields = "needs exactly three fields: MAC address, VLAN, interface" ?>
<?cs set:L.fault.mac = "not a MAC address (xxxx.xxxx.xxxx, xx:xx:xx:xx:xx:xx or xx-xx-xx-xx-xx-xx)" ?>
<?cs set:L.fault.vlan = "not a VLAN from 1 to 4094" ?>
<?cs set:L.fault.intf = "not a port name of the switch's kind (eth-S-P or aggN)" ?>
<?cs set:L.fault.conflict = "the same MAC address and VLAN as line %d, on another interface" ?>
<?cs set:L.fault.too_many = "more than %d entries; send them in parts" ?>
<?cs set:L.fault.too_long = "the list is longer than 64 KiB; send it in parts" ?>
<?cs set:L.batch_title = "Several entries added" ?>
<?cs def:set_batch_title() ?><?cs
 if:batch.state == "ran" && batch.action == "pin" ?><?cs set:BatchTitle = batch.added + " made static, " + batch.refused + " refused" ?><?cs
  if:batch.unknown > 0 ?><?cs set:BatchTitle = BatchTitle + ", " + batch.unknown + " not known" ?><?cs /if ?><?cs
 elif:batch.state == "ran" ?><?cs set:BatchTitle = batch.added + " added, " + batch.refused + " refused" ?><?cs
  if:batch.unknown > 0 ?><?cs set:BatchTitle = BatchTitle + ", " + batch.unknown + " not known" ?><?cs /if ?><?cs
 elif:batch.state == "invalid" ?><?cs set:BatchTitle = "Nothing added: " + batch.invalid + " lines not valid" ?><?cs
 elif:batch.state == "empty" ?><?cs set:BatchTitle = "Nothing added: no entries" ?><?cs
 else ?><?cs set:BatchTitle = "A list of entries" ?><?cs /if ?><?cs /def ?>
<?cs set:L.only_not_added = "Show only the lines not added" ?>
<?cs set:L.mend = "Mend these lines" ?>
<?cs set:L.mend_all = "Mend the list" ?>
<?cs set:L.outcome.added = "added" ?>
<?cs set:L.outcome.refused = "refused" ?>
<?cs set:L.outcome.unknown = "not known" ?>
<?cs set:L.outcome.invalid = "not valid" ?>
<?cs set:L.line = "Line" ?>
<?cs set:L.outcome_head = "Outcome" ?>
<?cs set:L.same_entry = "the same entry as line %d" ?>
<?cs set:L.batch_invalid = "Nothing was added: the lines below are not valid. Mend them and send the list again." ?>
<?cs set:L.batch_empty = "The list holds no entries; nothing was added." ?>
<?cs set:L.batch_failure.cli_timeout = "The switch did not answer in time: each entry below may or may not have been added; check the table." ?>
<?cs set:L.batch_failure.cli_no_answer = "The switch's answer could not be read in full: each entry below may or may not have been added; check the table." ?>
<?cs set:L.batch_failure.cli_unavailable = "The switch's command line could not run: nothing was added." ?>
<?cs set:L.batch_failure.configure_mode_inuse = "Another user holds configuration mode: nothing was added." ?>
<?cs set:L.batch_read_back = "The switch's answer left the outcomes in doubt: each one below was read back from the switch's table." ?>
<?cs set:L.not_applied = "the switch's table does not hold it, and the switch said nothing of why" ?>
<?cs set:L.batch_again = "Add more entries" ?>
<?cs def:batch_summary(added, refused, unknown, invalid) ?><?cs if:batch.action == "pin" ?>Made static<?cs else ?>Added<?cs /if ?>: <?cs var:added ?> · refused: <?cs var:refused ?> · not known: <?cs var:unknown ?> · not valid: <?cs var:invalid ?><?cs /def ?>
<?cs def:conflict_text(n) ?>the same MAC address and VLAN as line <?cs var:n ?>, on another interface<?cs /def ?>
<?cs def:same_entry_text(n) ?>the same entry as line <?cs var:n ?><?cs /def ?>
<?cs set:L.export = "Export as CSV" ?>
<?cs def:removed_text(n) ?><?cs if:n == 1 ?>1 entry removed.<?cs else ?><?cs var:n ?> entries removed.<?cs /if ?><?cs /def ?>
<?cs set:L.added_here = "Added %s: row %d, marked below." ?>
<?cs set:L.added_elsewhere = "Your entry %s is not on this page." ?>
<?cs set:L.added_show = "Show it" ?>
<?cs set:L.list_title_dynamic = "Learned MAC address table" ?>
<?cs set:L.list_title_all = "MAC address table" ?>
<?cs set:L.kind.static = "static" ?>
<?cs set:L.kind.dynamic = "learned" ?>
<?cs set:L.kind.all = "all" ?>
<?cs set:L.no_entries_dynamic = "No learned entries match." ?>
<?cs set:L.no_entries_all = "No entries match." ?>
<?cs set:L.actions = "Actions" ?>
<?cs set:L.pin = "Make static" ?>
<?cs set:L.pin_confirm_one = "Make 1 learned entry static, on the interface it was learned on?" ?>
<?cs set:L.pin_confirm_many = "Make %d learned entries static, each on the interface it was learned on?" ?>
<?cs set:L.move = "Move" ?>
<?cs set:L.move_title = "Move a static entry" ?>
<?cs set:L.move_hint = "The entry keeps its MAC address and VLAN; choose the interface it moves to." ?>
<?cs set:L.move_to = "Move to" ?>
<?cs set:L.move_again = "Try another interface" ?>
<?cs set:L.move_said = "The switch said:" ?>
<?cs set:L.move_unknown_title = "Not known whether the entry moved" ?>
<?cs set:L.move_failed_title = "The entry was not moved" ?>
<?cs set:L.moved_here = "Moved %s: row %d, marked below." ?>
<?cs def:move_result_text(result, now) ?><?cs
 if:result == "refused" ?>The switch refused the new interface: the entry is where it was, on <?cs var:now ?>.<?cs
 elif:result == "restored" ?>The switch refused the new interface after the entry had left the old one: it was put back on <?cs var:now ?>.<?cs
 elif:result == "lost" ?>The switch refused the new interface after the entry had left the old one, and it could not be put back: <?cs if:now ?>the table now holds it on <?cs var:now ?>.<?cs else ?>the table now holds no entry for this MAC address in this VLAN.<?cs /if ?><?cs
 elif:result == "elsewhere" ?>The switch's table now holds the entry on <?cs var:now ?>, neither where it was nor where it was to go.<?cs
 else ?>The switch's answer, and its table, left it open whether the entry moved: check the table.<?cs /if ?><?cs /def ?>
<?cs set:L.pinned = "made static" ?>
