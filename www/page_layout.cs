<?cs # What the forms' fields take, checked in the browser before they go. ?><?cs
set:Pattern.mac = "[0-9A-Fa-f]{4}" ?><?cs
set:Pattern.vlan = "[1-9][0-9]{0,2}|[1-3][0-9]{3}|40[0-8][0-9]|409[0-4]" ?><?cs def:page_top(title) ?><!DOCTYPE html>
<html lang="<?cs var:L.html_lang ?>">
<head>
<meta charset="utf-8">
<meta name="referrer" content="no-referrer">
<title><?cs var:title ?></title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<main class="panel">
<h1><?cs var:title ?></h1>
<?cs if:?cli_failed ?><p class="warn" id="cli_failed"><?cs var:L.cli_failed ?></p><?cs /if ?><?cs /def ?>
<?cs def:page_bottom() ?>
</main>
<script>
// A field the browser finds malformed says why in the page's language; the
// switch still decides.
document.querySelectorAll('input[data-invalid]').forEach(function (f) {
  f.addEventListener('invalid', function () {
    f.setCustomValidity('');
    if (!f.validity.valid) f.setCustomValidity(f.dataset.invalid);
  });
  f.addEventListener('input', function () { f.setCustomValidity(''); });
});
</script>
</body>
</html>
<?cs /def ?>
