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
<script>
// A field the browser finds malformed says why, beside it and in the page's
// language, before the form goes; the switch still decides.
document.querySelectorAll('input[data-invalid]').forEach(function (f) {
  var place = f.closest('.row, label');
  var note = document.createElement('small');
  note.className = 'field-error';
  note.setAttribute('aria-live', 'polite');
  place.appendChild(note);
  // The note is the field's own: a reader names it with the field.
  note.id = f.id + '_error';
  f.setAttribute('aria-describedby', ((f.getAttribute('aria-describedby') || '') + ' ' + note.id).trim());
  function check() {
    f.setCustomValidity('');
    var bad = !f.validity.valid;
    f.setCustomValidity(bad ? f.dataset.invalid : '');
    note.textContent = bad ? f.dataset.invalid : '';
    if (bad) f.setAttribute('aria-invalid', 'true'); else f.removeAttribute('aria-invalid');
  }
  f.addEventListener('invalid', check);
  f.addEventListener('input', function () { if (note.textContent) check(); else f.setCustomValidity(''); });
});
// A form sent shows that it is working and cannot be sent twice: its
// buttons are off until the answer replaces the page. A check that stopped
// the submit (defaultPrevented) leaves them on.
document.addEventListener('submit', function (ev) {
  if (ev.defaultPrevented || ev.target.method !== 'post') return;
  var form = ev.target;
  form.setAttribute('aria-busy', 'true');
  setTimeout(function () {
    form.querySelectorAll('button[type=submit]').forEach(function (b) {
      b.disabled = true;
      b.classList.add('working');
    });
  }, 0);
});
</script>
</body>
</html>
<?cs /def ?>
