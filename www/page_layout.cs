<?cs # What the forms' fields take, checked in the browser before they go. ?><?cs
set:Pattern.mac = "[0-9A-Fa-f]{4}" ?><?cs
set:Pattern.mac_group = "[0-9A-Fa-f]{1,4}" ?><?cs
set:Pattern.vlan = "[1-9][0-9]{0,2}|[1-3][0-9]{3}|40[0-8][0-9]|409[0-4]" ?><?cs def:page_top(title, whole) ?><!DOCTYPE html>
<html lang="<?cs var:L.html_lang ?>">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="referrer" content="no-referrer">
<title><?cs var:title ?></title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<main class="panel">
<h1><?cs var:title ?></h1>
<?cs if:!whole ?><p class="warn" id="cli_failed"><?cs var:L.cli_failed ?></p><?cs /if ?><?cs /def ?>
<?cs def:page_bottom() ?>
</main>
<script src="pages.js" defer></script>
</body>
</html>
<?cs /def ?>
